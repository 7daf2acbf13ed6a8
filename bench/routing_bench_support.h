// What the .test routing benchmarks share beyond bench_support.h: a temporary folder, a loop on
// its own thread, a peer program run in the background, free ports, the load tools' figures, and
// the result table.
#pragma once

#include "bench_support.h"

#include "core/platform/child_process.h"
#include "core/platform/files.h"
#include "core/platform/process_runner.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <fmt/format.h>
#include <re2/re2.h>

#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace qs::bench {

// A folder under the system's temporary folder, removed with everything in it at the end.
class TemporaryFolder {
public:
  TemporaryFolder() : path_(scratchFolder("qs-bench")) {}
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
  std::filesystem::path path_;
};

// An io_context run by one thread of its own until destroyed.
class LoopThread {
public:
  LoopThread() : work_(asio::make_work_guard(io)), thread_([this] { io.run(); }) {}
  ~LoopThread() {
    work_.reset();
    io.stop();
    thread_.join();
  }
  // The CPU time the loop's thread has used so far.
  double cpuSeconds() {
    clockid_t clock;
    timespec t{};
    if (pthread_getcpuclockid(thread_.native_handle(), &clock) != 0 || clock_gettime(clock, &t) != 0) return 0;
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
  }
  asio::io_context io;

private:
  asio::executor_work_guard<asio::io_context::executor_type> work_;
  std::thread thread_;
};

// The file's text; empty when it is missing (a /proc entry of a process that just ended).
inline std::string readText(const std::filesystem::path& path) { return readFileIfPresent(path).value_or(""); }

// A port nobody listens on right now (the system's choice), for a peer that needs a number.
inline int freeTCPPort() {
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  return acceptor.local_endpoint().port();
}

inline int freeUDPPort() {
  asio::io_context io;
  asio::ip::udp::socket socket(io, asio::ip::udp::endpoint(asio::ip::address_v4::loopback(), 0));
  return socket.local_endpoint().port();
}

// Waits (up to 10 s) until something accepts on 127.0.0.1:port; a benchmark may poll.
inline void awaitTCPListener(int port, const std::string& who) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  asio::io_context io;
  for (;;) {
    asio::ip::tcp::socket socket(io);
    asio::error_code ec;
    socket.connect(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), static_cast<unsigned short>(port)), ec);
    if (!ec) return;
    if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error(who + " did not start listening");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// A socket of `type` (SOCK_STREAM or SOCK_DGRAM) bound to a free port of 127.0.0.1, with that
// port; throws naming `who` when it cannot be had.
inline std::pair<int, int> boundLoopbackSocket(int type, const std::string& who) {
  int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error(who + " could not bind a port on 127.0.0.1");
  return {fd, ntohs(address.sin_port)};
}

// A peer program (nginx, dnsmasq) running in the background with its output in a log file,
// stopped with SIGTERM (then SIGKILL) when destroyed.
class Peer {
public:
  Peer(const std::string& name, std::vector<std::string> arguments, const std::filesystem::path& log) : log_(log) {
    auto program = findExecutable(name);
    if (!program) throw std::runtime_error(name + " is not installed (make bench installs it)");
    QSChildLaunch launch{*program, std::move(arguments), log.parent_path(), {}, log};
    process_ = QSChildProcess::spawn(launch);
  }
  ~Peer() {
    process_->signal(SIGTERM);
    for (int i = 0; i < 200 && !process_->reap(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!process_->exitStatus()) {
      process_->signal(SIGKILL);
      while (!process_->reap() && process_->isRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  // The CPU time used so far by the peer and its children (nginx's workers), from /proc.
  double cpuSeconds() const { return treeCPUSeconds(process_->pid()); }
  // Throws with the peer's log when it has already ended.
  void requireRunning(const std::string& who) const {
    if (!process_->isRunning()) throw std::runtime_error(who + " ended:\n" + readText(log_));
  }

private:
  static double treeCPUSeconds(int pid) {
    double seconds = bench::cpuSeconds(pid);
    std::istringstream children(readText(fmt::format("/proc/{}/task/{}/children", pid, pid)));
    for (int child; children >> child;) seconds += treeCPUSeconds(child);
    return seconds;
  }

  std::filesystem::path log_;
  std::shared_ptr<QSChildProcess> process_;
};

// Runs a load tool to completion; its standard output, or an exception with what it printed.
inline std::string runTool(const std::vector<std::string>& command) {
  QSProcessOptions options;
  options.mergeErrorIntoOutput = true;
  QSProcessResult result = runProcess(command, options);
  if (!result.succeeded()) throw std::runtime_error(command[0] + " failed:\n" + result.output);
  return result.output;
}

// "12.5us", "1.20ms", "2.00s" → microseconds.
inline double microseconds(double value, const std::string& unit) {
  if (unit == "us") return value;
  if (unit == "ms") return value * 1e3;
  if (unit == "s") return value * 1e6;
  throw std::runtime_error("unknown time unit " + unit);
}

struct WrkFigures {
  double requestsPerSecond = 0;
  double p50Microseconds = 0;
  double requests = 0;  // completed in the run
};

// The figures of `wrk --latency` output.
inline WrkFigures parseWrk(const std::string& output) {
  WrkFigures figures;
  std::string unit;
  if (!RE2::PartialMatch(output, R"(Requests/sec:\s+([0-9.]+))", &figures.requestsPerSecond) ||
      !RE2::PartialMatch(output, R"(\n\s+50%\s+([0-9.]+)(us|ms|s)\b)", &figures.p50Microseconds, &unit))
    throw std::runtime_error("unexpected wrk output:\n" + output);
  figures.p50Microseconds = microseconds(figures.p50Microseconds, unit);
  RE2::PartialMatch(output, R"(([0-9]+) requests in )", &figures.requests);
  if (RE2::PartialMatch(output, R"(Non-2xx or 3xx responses:\s+([0-9]+))"))
    throw std::runtime_error("wrk saw failing responses:\n" + output);
  return figures;
}

// One line of the result table: our figure, the peer's, and their ratio (or, for latencies,
// the difference ours − theirs) against the target; a row without a target is for reference.
struct Row {
  std::string measure;
  std::string unit;
  double ours = 0;
  std::string peer;
  double theirs = 0;
  std::optional<double> target;  // the least ratio, or the most difference
  bool difference = false;
};

inline void printTable(const std::string& title, const std::vector<Row>& rows) {
  fmt::print("\n{}\n", title);
  fmt::print("{:<46} {:>11} {:>11}  {:<17} {:>8}  {}\n", "measure", "ours", "peer", "peer is", "ratio", "target");
  for (const auto& row : rows) {
    double value = row.difference ? row.ours - row.theirs : (row.theirs > 0 ? row.ours / row.theirs : 0);
    std::string shown = row.difference ? fmt::format("{:+.1f}", value) : fmt::format("{:.2f}x", value);
    std::string target = "(reference)";
    if (row.target) {
      bool met = row.difference ? value <= *row.target : value >= *row.target;
      target = row.difference ? fmt::format("added <= {:.0f} {}", *row.target, row.unit)
                              : fmt::format(">= {:.2f}x", *row.target);
      target += met ? "  met" : "  MISSED";
    }
    fmt::print("{:<46} {:>11.1f} {:>11.1f}  {:<17} {:>8}  {}\n", row.measure + " (" + row.unit + ")", row.ours,
               row.theirs, row.peer, shown, target);
  }
}

// The load average when the run began, which the figures should be read against.
inline std::string loadAverage() {
  std::string text = readText("/proc/loadavg");
  return text.substr(0, text.find(' ', text.find(' ', text.find(' ') + 1) + 1));
}

}  // namespace qs::bench

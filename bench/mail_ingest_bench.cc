// Mail ingest: messages of 2 KB and 200 KB sent over 8 parallel connections to the real
// quaysided's catcher until each is acknowledged (the catcher answers only once the message is
// on disk), beside Python's aiosmtpd writing the same messages to files, in one run. Also the
// daemon's resident memory idle and with 500 stored messages. Both stores live below TMPDIR
// (else /tmp): what the file system charges for a new file is in both servers' figures.
// The file-creation limit: one thread creating files of the same sizes in the catcher's own
// folder the way it stores a message (a hidden temporary created, written, renamed to its
// name), with no mail protocol at all; the catcher's rate is also given as a share of it.
#include "bench_support.h"
#include "core/runtime/port_scanner.h"

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read_until.hpp>
#include <asio/write.hpp>
#include <fmt/format.h>

#include <fcntl.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace qs;
using namespace qs::bench;
namespace fs = std::filesystem;

namespace {

constexpr int kConnections = 8;

const char* const kAiosmtpdServer = R"(import os, sys, time, uuid
from aiosmtpd.controller import Controller
folder = sys.argv[2]
class Store:
    async def handle_DATA(self, server, session, envelope):
        with open(os.path.join(folder, uuid.uuid4().hex + ".eml"), "wb") as f:
            f.write(envelope.original_content)
        return "250 OK"
controller = Controller(Store(), hostname="127.0.0.1", port=int(sys.argv[1]), data_size_limit=0)
controller.start()
while True:
    time.sleep(3600)
)";

std::string messageOfSize(std::size_t bytes) {
  std::string m = "From: App <app@example.com>\r\nTo: user@example.com\r\nSubject: Benchmark\r\n"
                  "Content-Type: text/plain; charset=utf-8\r\n\r\n";
  std::string line(76, 'x');
  while (m.size() < bytes) m += line + "\r\n";
  return m;
}

// A mailer's conversation, one command at a time; throws when the server says no.
class Sender {
public:
  explicit Sender(int port) : socket_(io_) {
    socket_.connect({asio::ip::address_v4::loopback(), static_cast<unsigned short>(port)});
    expect('2');
    command("EHLO bench\r\n", '2');
  }
  void send(const std::string& message) {
    command("MAIL FROM:<app@example.com>\r\n", '2');
    command("RCPT TO:<user@example.com>\r\n", '2');
    command("DATA\r\n", '3');
    command(message + ".\r\n", '2');
  }

private:
  void command(const std::string& text, char expected) {
    asio::write(socket_, asio::buffer(text));
    expect(expected);
  }
  // Reads one reply (every line of a multi-line one) and checks its first digit.
  void expect(char digit) {
    for (;;) {
      std::size_t n = asio::read_until(socket_, asio::dynamic_buffer(buffer_), "\r\n");
      std::string line = buffer_.substr(0, n);
      buffer_.erase(0, n);
      if (line.size() < 4 || line[0] != digit) throw std::runtime_error("unexpected reply: " + line);
      if (line[3] == ' ') return;
    }
  }
  asio::io_context io_;
  asio::ip::tcp::socket socket_;
  std::string buffer_;
};

// Messages a second: `count` messages over kConnections connections.
double ingestRate(int port, const std::string& message, int count) {
  auto started = Clock::now();
  std::vector<std::thread> threads;
  for (int c = 0; c < kConnections; ++c)
    threads.emplace_back([&, c] {
      Sender sender(port);
      for (int i = c; i < count; i += kConnections) sender.send(message);
    });
  for (auto& t : threads) t.join();
  return count / std::chrono::duration<double>(Clock::now() - started).count();
}

// Files a second: `count` files of `contents` created in `folder` by one thread, each as the
// store writes a message: an exclusive hidden temporary written and renamed to
// "<milliseconds>-<UUID>.eml". The files are removed afterwards, untimed.
double fileCreationRate(const fs::path& folder, const std::string& contents, int count) {
  std::vector<std::string> names;
  names.reserve(count);
  auto started = Clock::now();
  for (int i = 0; i < count; ++i) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch());
    std::string name = (folder / fmt::format("{}-{}.eml", ms.count(), QSUUID::random().string())).string();
    std::string temporary = fmt::format("{}/.{}.tmp-{:012x}", folder.string(), fs::path(name).filename().string(), i);
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) throw std::runtime_error("open " + temporary + " failed");
    for (std::size_t done = 0; done < contents.size();) {
      ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
      if (n <= 0) throw std::runtime_error("write " + temporary + " failed");
      done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (::rename(temporary.c_str(), name.c_str()) != 0) throw std::runtime_error("rename " + temporary + " failed");
    names.push_back(std::move(name));
  }
  double rate = count / std::chrono::duration<double>(Clock::now() - started).count();
  for (const auto& name : names) ::unlink(name.c_str());
  return rate;
}

void waitForGreeting(int port) {
  for (int attempt = 0; attempt < 500; ++attempt) {
    try {
      Sender probe(port);
      return;
    } catch (const std::exception&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  throw std::runtime_error(fmt::format("nothing answered on port {}", port));
}

std::shared_ptr<QSChildProcess> startCatcher(const fs::path& home, int port) {
  fs::create_directories(home / "config/Quayside");
  std::ofstream(home / "config/Quayside/settings.json") << fmt::format(R"({{"qs.mailSMTPPort": "{}"}})", port);
  return startDaemon(home);
}

// Both runs and the memory figures, with the daemon serving on `ourPort`.
void run(const fs::path& root, int ourPort, const std::shared_ptr<QSChildProcess>& daemon, const fs::path& mailFolder) {
  long idle = residentKB(daemon->pid());

  std::shared_ptr<QSChildProcess> peer;
  int peerPort = 0;
  if (std::system("/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null") == 0) {
    fs::create_directories(root / "aiosmtpd");
    std::ofstream(root / "aiosmtpd_peer.py") << kAiosmtpdServer;
    peerPort = QSPortScanner().availablePort(ourPort + 1, {ourPort}, 200);
    peer = QSChildProcess::spawn({"/usr/bin/python3",
                                  {(root / "aiosmtpd_peer.py").string(), std::to_string(peerPort), (root / "aiosmtpd").string()},
                                  root, {}});
    try {
      waitForGreeting(peerPort);
    } catch (const std::exception&) {
      stopProcess(peer);
      char buffer[4096];
      auto error = peer->takeStandardError();
      ssize_t n = ::read(error.get(), buffer, sizeof buffer);
      throw std::runtime_error("aiosmtpd did not start: " + std::string(buffer, n > 0 ? n : 0));
    }
  } else {
    fmt::print("aiosmtpd is missing (Debian: python3-aiosmtpd); only Quayside's figures follow\n");
  }

  struct Run {
    const char* name;
    std::size_t bytes;
    int count;
  } runs[] = {{"2 KB", 2 * 1024, 4000}, {"200 KB", 200 * 1024, 400}};
  for (const auto& run : runs) {
    std::string message = messageOfSize(run.bytes);
    // The servers' own CPU time per message as well: unlike the rates, it hardly depends on
    // what else the machine is doing.
    double cpuBefore = cpuSeconds(daemon->pid());
    double ours = ingestRate(ourPort, message, run.count);
    double ourCPU = (cpuSeconds(daemon->pid()) - cpuBefore) / run.count * 1e6;
    double limit = fileCreationRate(mailFolder, message, run.count);
    double theirs = 0, theirCPU = 0;
    if (peer) {
      cpuBefore = cpuSeconds(peer->pid());
      theirs = ingestRate(peerPort, message, run.count);
      theirCPU = (cpuSeconds(peer->pid()) - cpuBefore) / run.count * 1e6;
    }
    fmt::print("mail ingest {:>6}: quaysided {:8.0f} msg/s", run.name, ours);
    if (peer) fmt::print("   aiosmtpd {:8.0f} msg/s   ratio {:5.1f}x", theirs, ours / theirs);
    fmt::print("   ({} messages, {} connections)\n", run.count, kConnections);
    fmt::print("  file-creation limit (one thread, same folder and pattern) {:8.0f} files/s   quaysided at {:3.0f}% of it\n",
               limit, 100 * ours / limit);
    fmt::print("  server CPU per message: quaysided {:6.0f} us", ourCPU);
    if (peer) fmt::print("   aiosmtpd {:6.0f} us   ratio {:5.1f}x", theirCPU, theirCPU / ourCPU);
    fmt::print("\n");
    if (std::string(run.name) == "2 KB")
      fmt::print("daemon memory: idle {} KB, with 500 stored messages of 2 KB {} KB\n", idle,
                 residentKB(daemon->pid()));
  }
  fmt::print("daemon memory with 500 stored messages of 200 KB: {} KB\n", residentKB(daemon->pid()));
  fmt::print("targets: >= 2000 msg/s of 2 KB, >= 10x aiosmtpd, >= 80% of the file-creation limit for 2 KB\n");

  if (peer) stopProcess(peer);
}

}  // namespace

int main() {
  fs::path root = scratchFolder("qs-mail-bench");
  QSPortScanner ports;
  int ourPort = ports.availablePort(26000, {}, 200);
  auto daemon = startCatcher(root / "quayside", ourPort);
  try {
    waitForGreeting(ourPort);
    run(root, ourPort, daemon, root / "quayside/data/Quayside/mail");
  } catch (const std::exception& e) {
    fmt::print(stderr, "mail_ingest_bench: {}\n", e.what());
  }
  stopProcess(daemon);
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}

// End-to-end tests run the real `qs` program against a real daemon: the engine and the daemon
// server on a thread of their own, serving a socket under an isolated HOME.
#pragma once

#include "core/daemon/daemon_server.h"
#include "core/engine/daemon_service.h"
#include "core/platform/child_process.h"
#include "core/platform/process_runner.h"
#include "core/routing/port_scanner.h"
#include "support/process_helpers.h"
#include "support/test_support.h"

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/use_future.hpp>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace qs::testing {

// The engine behind a daemon server on its own loop and thread, as quaysided runs them.
class DaemonHost {
public:
  explicit DaemonHost(std::string socketPath) {
    QSDaemonServiceOptions options;
    options.version = "e2e";
    engine_ = QSDaemonService::make(loop_.get_executor(), std::move(options));
    server_ = std::make_unique<QSDaemonServer>(loop_.get_executor(), engine_, std::move(socketPath), "e2e", "e2e-build");
    auto started = asio::co_spawn(loop_, startUp(), asio::use_future);
    thread_ = std::thread([this] { loop_.run(); });
    started.get();  // rethrows a failed start
  }

  ~DaemonHost() {
    auto stopped = asio::co_spawn(loop_, windDown(), asio::use_future);
    stopped.wait();
    loop_.stop();
    thread_.join();
    server_.reset();
    engine_.reset();
  }

private:
  asio::awaitable<void> startUp() {
    co_await engine_->bootstrap();
    co_await server_->start();
  }
  asio::awaitable<void> windDown() {
    server_->stop();
    co_await engine_->shutdown();
  }

  asio::io_context loop_;
  std::shared_ptr<QSDaemonService> engine_;
  std::unique_ptr<QSDaemonServer> server_;
  std::thread thread_;
};

struct QsResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string qsPath() { return std::string(QS_BIN_DIR) + "/qs"; }

// A minimal Vapor package folder.
inline void writeVaporPackage(const std::filesystem::path& folder, const std::string& name, const std::string& dotenv = "") {
  writeTextFile(folder / "Package.swift",
                "// swift-tools-version:5.9\nimport PackageDescription\n\nlet package = Package(\n    name: \"" + name +
                    "\",\n    dependencies: [.package(url: \"https://github.com/vapor/vapor.git\", from: \"4.115.0\")],\n"
                    "    targets: [.executableTarget(name: \"App\", dependencies: [.product(name: \"Vapor\", package: "
                    "\"vapor\")])]\n)\n");
  if (!dotenv.empty()) writeTextFile(folder / ".env", dotenv);
}

// An HTTP/1.1 GET of `path` on 127.0.0.1:port; the whole response.
inline std::string httpGet(int port, const std::string& path) {
  asio::ip::tcp::iostream stream("127.0.0.1", std::to_string(port));
  stream << "GET " << path << " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n" << std::flush;
  return std::string(std::istreambuf_iterator<char>(stream), {});
}

// A free port for a project's server, away from the ones other test programs pick.
inline int freePort() {
  return QSPortScanner().availablePort(34000 + (::getpid() % 1500) * 10, {}, 500);
}

// Every test gets its own HOME, socket and lock, and the fake Swift toolchain as the only one
// installed. `startDaemon()` brings up a daemon; without it, nobody serves the socket.
class E2ETest : public ::testing::Test {
protected:
  E2ETest() {
    ::setenv("QS_TOOLCHAIN_DIRS", QS_FAKE_TOOLCHAINS_DIR, 1);
    environment["QS_DAEMON_SOCKET"] = socketPath();
    environment["QS_DAEMON_LOCK"] = (home.home() / "owner.lock").string();
  }
  ~E2ETest() override {
    daemon.reset();
    ::unsetenv("QS_TOOLCHAIN_DIRS");
  }

  std::string socketPath() const { return (home.home() / "daemon.sock").string(); }
  void startDaemon() { daemon = std::make_unique<DaemonHost>(socketPath()); }

  // Runs qs with `arguments` in `folder` (default: HOME); standard input is an empty pipe.
  QsResult qs(std::vector<std::string> arguments, std::optional<std::filesystem::path> folder = std::nullopt) {
    arguments.insert(arguments.begin(), qsPath());
    QSProcessOptions options;
    options.environment = environment;
    options.workingDirectory = folder.value_or(home.home());
    options.input = "";
    auto result = runProcess(arguments, options);
    return {result.exitStatus, result.output, result.errorOutput};
  }

  // Runs qs on a pseudo-terminal (through util-linux `script`), typing `input`; the terminal's
  // output (standard output and error together, input echoed). Skips the test without `script`.
  QsResult qsOnTerminal(const std::vector<std::string>& arguments, const std::string& input) {
    std::string command = "'" + qsPath() + "'";
    for (const auto& argument : arguments) command += " '" + argument + "'";  // test arguments: no quotes
    QSProcessOptions options;
    options.environment = environment;
    options.workingDirectory = home.home();
    options.input = input;
    auto result = runProcess({"/usr/bin/script", "-qec", command, "/dev/null"}, options);
    return {result.exitStatus, result.output, result.errorOutput};
  }
  static bool haveTerminals() { return isExecutableFile("/usr/bin/script"); }

  // Runs qs and expects success; its standard output.
  std::string qsOK(std::vector<std::string> arguments) {
    auto result = qs(arguments);
    EXPECT_EQ(result.status, 0) << "qs " << ::testing::PrintToString(arguments) << "\n" << result.err;
    return result.out;
  }

  IsolatedHome home;
  std::map<std::string, std::string> environment;
  std::unique_ptr<DaemonHost> daemon;
};

// A qs that keeps running (logs -f, events): its output is read as it comes.
class RunningQs {
public:
  RunningQs(std::vector<std::string> arguments, const std::map<std::string, std::string>& environment,
            const std::filesystem::path& folder) {
    process_ = QSChildProcess::spawn({qsPath(), std::move(arguments), folder, environment});
    out_ = process_->takeStandardOutput();
    err_ = process_->takeStandardError();
  }
  ~RunningQs() {
    if (process_->isRunning()) process_->signal(SIGKILL);
    process_->reap();
  }

  // Reads standard output until it holds `text`; everything read so far.
  const std::string& readUntil(const std::string& text) {
    while (output_.find(text) == std::string::npos) {
      std::string more = readFromPipe(out_.get(), true);
      if (more.empty()) throw std::runtime_error("qs ended before printing '" + text + "': " + output_);
      output_ += more;
    }
    return output_;
  }

  // Like readUntil, but gives up after `patience`: false when `text` did not come.
  bool tryReadUntil(const std::string& text, std::chrono::milliseconds patience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    while (output_.find(text) == std::string::npos) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd entry{out_.get(), POLLIN, 0};
      if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) return false;
      char buffer[4096];
      ssize_t n = ::read(out_.get(), buffer, sizeof buffer);
      if (n == 0) return false;
      if (n > 0) output_.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  }

  // Sends Ctrl-C's signal and returns the exit status; the rest of the output is read first.
  int interrupt() {
    process_->signal(SIGINT);
    output_ += readFromPipe(out_.get());
    errors_ = readFromPipe(err_.get());
    for (int i = 0; i < 3000 && !process_->reap(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return process_->exitStatus().value_or(-1);
  }

  const std::string& output() const { return output_; }
  const std::string& errors() const { return errors_; }

private:
  std::shared_ptr<QSChildProcess> process_;
  UniqueFd out_;
  UniqueFd err_;
  std::string output_;
  std::string errors_;
};

}  // namespace qs::testing

// End-to-end tests run the real `qs` program against the real `quaysided`, serving a socket
// under an isolated HOME, with the fake Swift toolchain as the only one installed.
#pragma once

#include "core/platform/child_process.h"
#include "core/platform/process_runner.h"
#include "core/platform/unix_socket.h"
#include "core/runtime/port_scanner.h"
#include "support/process_helpers.h"
#include "support/test_support.h"
#include "support/test_locations.h"

#include <asio/ip/tcp.hpp>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <map>
#include <string>
#include <vector>

namespace qs::testing {

// quaysided started in `home` with `environment`, its output appended to `log`, with a low limit
// on open files, as some service managers give (the daemon raises it).
inline std::shared_ptr<QSChildProcess> spawnQuaysided(const std::filesystem::path& home,
                                                      const std::map<std::string, std::string>& environment,
                                                      const std::filesystem::path& log) {
  std::string daemon = qs::testing::binFolder() + "/quaysided";
  std::string command = "ulimit -Sn 256 && exec \"$0\" >>\"$1\" 2>&1";
  return QSChildProcess::spawn({"/bin/sh", {"-c", command, daemon, log.string()}, home, environment});
}

// The real quaysided under the test's HOME, socket and lock, its log appended to HOME/daemon.log.
// Construction returns once the socket accepts connections; destruction sends SIGTERM.
class DaemonHost {
public:
  DaemonHost(std::filesystem::path home, std::map<std::string, std::string> environment)
      : home_(std::move(home)), environment_(std::move(environment)) {
    start();
  }
  ~DaemonHost() { stop(); }

  // Stops the daemon and starts a new one on the same state, as a reboot or an upgrade would.
  void restart() {
    stop();
    start();
  }

  std::int32_t pid() const { return process_ ? process_->pid() : 0; }
  std::string log() const { return readTextFile(home_ / "daemon.log"); }

private:
  void start() {
    process_ = spawnQuaysided(home_, environment_, home_ / "daemon.log");
    auto serving = [this] {
      if (!process_->isRunning()) throw std::runtime_error("quaysided exited at start:\n" + log());
      return isListenedOn(environment_.at("QS_DAEMON_SOCKET"));
    };
    if (!pollUntil(serving, std::chrono::seconds(30)))
      throw std::runtime_error("quaysided did not serve its socket within 30 s:\n" + log());
  }

  void stop() {
    if (!process_) return;
    if (process_->isRunning()) process_->signal(SIGTERM);
    if (auto status = reapWithin(*process_, std::chrono::seconds(20))) {
      EXPECT_EQ(*status, 0) << log();
    } else {
      ADD_FAILURE() << "quaysided ignored SIGTERM for 20 s:\n" << log();
      process_->signal(SIGKILL);
      reapWithin(*process_, std::chrono::seconds(10));
    }
    process_.reset();
  }

  std::filesystem::path home_;
  std::map<std::string, std::string> environment_;
  std::shared_ptr<QSChildProcess> process_;
};

struct QsResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string qsPath() { return qs::testing::binFolder() + "/qs"; }

// An HTTP/1.1 GET of `path` on 127.0.0.1:port; the whole response.
inline std::string httpGet(int port, const std::string& path) {
  asio::ip::tcp::iostream stream("127.0.0.1", std::to_string(port));
  stream << "GET " << path << " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n" << std::flush;
  return std::string(std::istreambuf_iterator<char>(stream), {});
}

// A free port for a project's server, away from the ones other test programs pick.
inline int freePort() { return testing::freeTestPort(testing::PortBand::endToEnd); }

// Every test gets its own HOME, socket and lock, and the fake Swift toolchain as the only one
// installed. `startDaemon()` brings up a daemon; without it, nobody serves the socket.
class E2ETest : public ::testing::Test {
protected:
  E2ETest() {
    environment["QS_DAEMON_SOCKET"] = socketPath();
    environment["QS_DAEMON_LOCK"] = (home.home() / "owner.lock").string();
    // The daemon's .test services on ports the system picks, never the user's.
    for (const char* port : {"QS_PROXY_PORT", "QS_PROXY_TLS_PORT", "QS_DNS_PORT"}) environment[port] = "0";
  }
  // A daemon the test started through `qs daemon start` must not outlive it, whatever failed.
  ~E2ETest() override {
    if (!daemon && isListenedOn(socketPath())) qs({"daemon", "stop"});
  }

  std::string socketPath() const { return (home.home() / "daemon.sock").string(); }
  // (Replacing the running one; `toolchains`: where the daemon looks for them.)
  void startDaemon(const std::string& toolchains = qs::testing::fakeToolchainsFolder()) {
    auto daemonEnvironment = environment;
    daemonEnvironment["QS_TOOLCHAIN_DIRS"] = toolchains;
    daemon.reset();
    daemon = std::make_unique<DaemonHost>(home.home(), daemonEnvironment);
  }

  // Runs qs with `arguments` in `folder` (default: HOME); standard input is an empty pipe.
  QsResult qs(std::vector<std::string> arguments, std::optional<std::filesystem::path> folder = std::nullopt) {
    arguments.insert(arguments.begin(), qsPath());
    return run(arguments, "", folder.value_or(home.home()));
  }

  // Runs qs on a pseudo-terminal (through util-linux `script`), typing `input`; the terminal's
  // output (standard output and error together, input echoed).
  QsResult qsOnTerminal(const std::vector<std::string>& arguments, const std::string& input) {
    std::string command = "'" + qsPath() + "'";
    for (const auto& argument : arguments) command += " '" + argument + "'";  // test arguments: no quotes
    return run({"/usr/bin/script", "-qec", command, "/dev/null"}, input, home.home());
  }
  QsResult run(const std::vector<std::string>& argv, const std::string& input, const std::filesystem::path& folder) {
    auto result = runProcess(argv, {.workingDirectory = folder, .environment = environment, .input = input});
    return {result.exitStatus, result.output, result.errorOutput};
  }

  // Runs qs and expects success; its standard output.
  std::string qsOK(std::vector<std::string> arguments) {
    auto result = qs(arguments);
    EXPECT_EQ(result.status, 0) << "qs " << ::testing::PrintToString(arguments) << "\n" << result.err;
    return result.out;
  }
  // Runs qs and expects it to exit with `status`; its standard error.
  std::string qsFails(std::vector<std::string> arguments, int status = 1) {
    auto result = qs(arguments);
    EXPECT_EQ(result.status, status) << "qs " << ::testing::PrintToString(arguments) << "\n" << result.out;
    return result.err;
  }

  // `qs new NAME` in HOME/projects on `port`, pinned to the fake toolchain's version; what it printed.
  std::string newProject(const std::string& name, int port) {
    auto created = qsOK({"new", name, "--dir", (home.home() / "projects").string(), "--port",
                         std::to_string(port), "--no-git"});
    qsOK({"pin", name, "6.0.3"});
    return created;
  }

  IsolatedHome home;
  ScopedEnvironment toolchains{{{"QS_TOOLCHAIN_DIRS", qs::testing::fakeToolchainsFolder()}}};
  std::map<std::string, std::string> environment;
  std::unique_ptr<DaemonHost> daemon;
};

// Every system path under a scratch root, with stand-ins for systemctl (no unit is active), nft
// and update-ca-certificates, and the real certutil. No daemon is started.
class ScratchSystemTest : public E2ETest {
protected:
  ScratchSystemTest() {
    std::filesystem::create_directories(root);
    tool("systemctl", "[ \"$1\" != is-active ]\n");
    tool("nft", "exit 0\n");
    tool("update-ca-certificates", "exit 0\n");
    tool("certutil", "exec /usr/bin/certutil \"$@\"\n");
    environment["QS_SYSTEM_ROOT"] = root.string();
    environment["QS_SYSTEM_TOOL_PATH"] = tools.string();
    environment["QS_SYSTEMCTL"] = (tools / "systemctl").string();
    // The TLS listener starts only with an HTTPS domain; the redirect needs its port before that.
    environment["QS_PROXY_TLS_PORT"] = std::to_string(freePort());
  }

  void tool(const std::string& name, const std::string& body) {
    writeTextFile(tools / name, "#!/bin/bash\n" + body);
    std::filesystem::permissions(tools / name, std::filesystem::perms::owner_all);
  }

  TemporaryFolder scratch;
  std::filesystem::path root = scratch / "root";
  std::filesystem::path tools = scratch / "tools";
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

  // Reads standard output until it holds `text`; everything read so far. Throws when qs ends
  // first or `text` has not come within 30 s.
  const std::string& readUntil(const std::string& text) {
    if (!tryReadUntil(text, std::chrono::seconds(30)))
      throw std::runtime_error("qs printed no '" + text + "': " + output_);
    return output_;
  }

  // Like readUntil, but false when `text` did not come within `patience` or qs ended first.
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
    return finish();
  }

  // Reads the rest of the output and returns the exit status once qs has ended by itself.
  int finish() {
    output_ += readFromPipe(out_.get());
    errors_ = readFromPipe(err_.get());
    return reapWithin(*process_, std::chrono::seconds(30)).value_or(-1);
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

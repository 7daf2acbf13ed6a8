// The fake toolchain that stands in for `swift run` in tests, run for real: its output drives the
// console transitions and the request-line parser exactly as a real server's would.
#include "core/platform/child_process.h"
#include "core/platform/process_runner.h"
#include "core/runtime/console_transition.h"
#include "core/runtime/log_parser.h"
#include "core/runtime/server_readiness.h"
#include "support/process_helpers.h"

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/read_until.hpp>
#include <asio/write.hpp>
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <map>

namespace qs {
namespace {

namespace fs = std::filesystem;
using asio::ip::tcp;
using testing::TemporaryFolder;

const fs::path kSwift = fs::path(QS_FAKE_TOOLCHAIN_ROOT) / "usr/bin/swift";

// The fake running as a server: its standard output read line by line, killed when dropped.
class Child {
public:
  Child(const std::vector<std::string>& arguments, const fs::path& folder,
        const std::map<std::string, std::string>& environment)
      : process_(QSChildProcess::spawn({kSwift, arguments, folder, environment})),
        out_(process_->takeStandardOutput()) {}

  ~Child() {
    process_->signal(SIGKILL);
    wait();
  }

  // The next line, or nothing at the end of the output. A child silent for a minute counts as
  // ended, so that a broken fake fails the test instead of hanging it.
  std::optional<std::string> readLine() {
    for (;;) {
      if (auto end = buffer_.find('\n'); end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      pollfd fd{out_.get(), POLLIN, 0};
      if (::poll(&fd, 1, 60000) <= 0) return std::nullopt;
      char chunk[4096];
      ssize_t n = ::read(out_.get(), chunk, sizeof chunk);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return std::nullopt;
      if (n > 0) buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  std::vector<std::string> readAll() {
    std::vector<std::string> lines;
    while (auto line = readLine()) lines.push_back(*line);
    return lines;
  }

  void signal(int number) { process_->signal(number); }

  // The exit code, or 128 + the signal that ended it.
  int wait() {
    while (!process_->reap()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return *process_->exitStatus();
  }

private:
  std::shared_ptr<QSChildProcess> process_;
  UniqueFd out_;
  std::string buffer_;
};

std::unique_ptr<Child> runApp(const fs::path& folder, std::map<std::string, std::string> environment = {},
                              const std::string& target = "App") {
  return std::make_unique<Child>(
      std::vector<std::string>{"run", target, "serve", "--hostname", "127.0.0.1", "--port", "0"}, folder,
      environment);
}

// Feeds output lines to a console state until the readiness line; returns the port it names.
int readUntilReady(Child& child, QSServerConsoleState& state, std::vector<std::string>* progress = nullptr) {
  while (auto line = child.readLine()) {
    detectStateTransition(state, *line, QSTime::now());
    if (progress && (progress->empty() || progress->back() != state.buildProgress))
      progress->push_back(state.buildProgress);
    if (QSServerReadiness::indicatesServerReady(*line)) return std::stoi(line->substr(line->rfind(':') + 1));
  }
  ADD_FAILURE() << "the output ended before the server was ready";
  return 0;
}

// One HTTP/1.1 connection to the fake.
class Client {
public:
  explicit Client(int port) : socket_(io_) {
    socket_.connect({asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)});
  }

  // Sends a request and returns the status line and the body of the answer.
  std::pair<std::string, std::string> exchange(const std::string& request) {
    asio::write(socket_, asio::buffer(request));
    std::size_t headerEnd = asio::read_until(socket_, asio::dynamic_buffer(input_), "\r\n\r\n");
    std::string head = input_.substr(0, headerEnd);
    input_.erase(0, headerEnd);
    auto lengthAt = head.find("content-length: ");
    std::size_t length = std::stoul(head.substr(lengthAt + 16));
    if (input_.size() < length)
      asio::read(socket_, asio::dynamic_buffer(input_), asio::transfer_exactly(length - input_.size()));
    std::string body = input_.substr(0, length);
    input_.erase(0, length);
    return {head.substr(0, head.find("\r\n")), body};
  }

private:
  asio::io_context io_;
  tcp::socket socket_;
  std::string input_;
};

std::string get(const std::string& path, bool close = false) {
  return "GET " + path + " HTTP/1.1\r\nHost: localhost\r\n" + (close ? "Connection: close\r\n" : "") + "\r\n";
}

TEST(FakeSwiftTest, VersionLikeTheRealDriver) {
  auto result = runProcess({kSwift.string(), "--version"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.output, "Swift version 6.0.3 (swift-6.0.3-RELEASE)\nTarget: x86_64-unknown-linux-gnu\n");
}

TEST(FakeSwiftTest, BuildsServesLogsAndStopsOnSigterm) {
  TemporaryFolder project;
  auto child = runApp(project.path(), {{"FAKE_SWIFT_RECORD", (project / "launches").string()}, {"GREETING", "hi"}});
  QSServerConsoleState state;
  std::vector<std::string> progress;
  int port = readUntilReady(*child, state, &progress);
  EXPECT_EQ(progress, (std::vector<std::string>{"Fetching dependencies…", "Resolving dependencies…",
                                                "Compiling [5/120]", "Compiling [6/120]", "Compiling [7/120]",
                                                "Linking [120/120]", ""}));
  EXPECT_EQ(rawValue(state.status), "running");
  EXPECT_TRUE(state.startedAt && state.isResolvingDependencies);

  Client keepAlive(port);
  EXPECT_EQ(keepAlive.exchange(get("/hello")), std::make_pair(std::string("HTTP/1.1 200 OK"), std::string("Hello, world!")));
  EXPECT_EQ(keepAlive.exchange(get("/missing?x=1")).first, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(Client(port).exchange(get("/", true)), std::make_pair(std::string("HTTP/1.1 200 OK"), std::string("It works!")));

  // Two connections print from two threads: compare the request lines in any order.
  QSLogParser parser;
  QSUUID projectID = QSUUID::random();
  std::vector<std::string> requests;
  for (int i = 0; i < 3; ++i) {
    auto line = child->readLine();
    ASSERT_TRUE(line);
    auto entry = parser.parse(*line, projectID);
    ASSERT_TRUE(entry) << *line;
    EXPECT_EQ(entry->projectID, projectID);
    requests.push_back(std::string(rawValue(entry->method)) + " " + entry->path + " " +
                       std::to_string(entry->statusCode));
  }
  std::sort(requests.begin(), requests.end());
  EXPECT_EQ(requests, (std::vector<std::string>{"GET / 200", "GET /hello 200", "GET /missing?x=1 404"}));

  child->signal(SIGTERM);
  EXPECT_EQ(QSServerExit::outcome(child->wait()), (QSServerExit::Outcome{QSServerStatus::stopped, "[Server stopped]", {}}));

  std::string launches = testing::readTextFile(project / "launches");
  EXPECT_NE(launches.find("cwd=" + project.path().string() + "\n"), std::string::npos);
  EXPECT_NE(launches.find("arg=run\narg=App\narg=serve\narg=--hostname\narg=127.0.0.1\narg=--port\narg=0\n"),
            std::string::npos);
  EXPECT_NE(launches.find("env=GREETING=hi\n"), std::string::npos);
}

// A package that has been built before resolves nothing; the exit code switch ends the server
// right after its readiness line.
TEST(FakeSwiftTest, WarmBuildAndExitCode) {
  TemporaryFolder project;
  auto contains = [](const std::vector<std::string>& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(), [&](const auto& l) { return l.rfind(prefix, 0) == 0; });
  };
  for (bool cold : {true, false}) {
    auto child = runApp(project.path(), {{"FAKE_SWIFT_EXIT_CODE", "3"}});
    auto lines = child->readAll();
    EXPECT_EQ(contains(lines, "Fetching https://github.com/vapor/vapor.git"), cold);
    EXPECT_TRUE(contains(lines, "Build complete!"));
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(QSServerReadiness::indicatesServerReady(lines.back())) << lines.back();
    EXPECT_EQ(child->wait(), 3);
  }
}

TEST(FakeSwiftTest, FailedBuild) {
  TemporaryFolder project;
  auto child = runApp(project.path(), {{"FAKE_SWIFT_FAIL_BUILD", "1"}});
  QSServerConsoleState state;
  auto lines = child->readAll();
  for (const auto& line : lines) detectStateTransition(state, line, QSTime::now());
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      (project / "Sources/App/routes.swift").string() + ":3:5: error: cannot find 'foo' in scope"),
            lines.end());
  EXPECT_EQ(rawValue(state.status), "building");
  EXPECT_EQ(state.buildProgress, "Compiling [5/120]");
  EXPECT_EQ(QSServerExit::outcome(child->wait()).logLine, "[Process exited with code 1]");
}

TEST(FakeSwiftTest, FloodAfterReadiness) {
  TemporaryFolder project;
  auto child = runApp(project.path(), {{"FAKE_SWIFT_FLOOD", "20000"}});
  QSServerConsoleState state;
  readUntilReady(*child, state);
  int count = 0;
  while (auto line = child->readLine()) {
    ++count;
    if (*line == "[ DEBUG ] flood 20000") break;
  }
  EXPECT_EQ(count, 20000);
  child->signal(SIGTERM);
  EXPECT_EQ(child->wait(), 0);
}

TEST(FakeSwiftTest, IgnoringSigtermNeedsSigkill) {
  TemporaryFolder project;
  auto child = runApp(project.path(), {{"FAKE_SWIFT_IGNORE_SIGTERM", "1"}});
  QSServerConsoleState state;
  int port = readUntilReady(*child, state);
  child->signal(SIGTERM);  // an ignored signal is dropped when sent: the server is still there
  EXPECT_EQ(Client(port).exchange(get("/hello", true)).second, "Hello, world!");
  child->signal(SIGKILL);
  EXPECT_EQ(child->wait(), 128 + SIGKILL);
}

std::vector<pid_t> processesNamed(const std::string& name) {
  std::vector<pid_t> pids;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::string file = entry.path().filename();
    if (file.find_first_not_of("0123456789") != std::string::npos) continue;
    pid_t pid = std::stoi(file);
    if (testing::readTextFile(entry.path() / "comm") == name + "\n" && !testing::isGone(pid)) pids.push_back(pid);
  }
  return pids;
}

TEST(FakeSwiftTest, OrphanKeepsThePortUnderTheTargetName) {
  TemporaryFolder project;
  std::string target = "Orph" + std::to_string(::getpid());
  auto child = runApp(project.path(), {{"FAKE_SWIFT_ORPHAN", "1"}}, target);
  QSServerConsoleState state;
  int port = readUntilReady(*child, state);
  child->signal(SIGTERM);
  EXPECT_EQ(child->wait(), 0);
  EXPECT_FALSE(child->readLine());  // the orphan does not hold the output pipe

  EXPECT_EQ(Client(port).exchange(get("/hello", true)).second, "Hello, world!");
  auto orphans = processesNamed(target);
  ASSERT_EQ(orphans.size(), 1u);
  EXPECT_TRUE(signalProcessHandle(openProcessHandle(orphans[0]), SIGTERM));
  EXPECT_TRUE(testing::waitUntilGone(orphans[0], std::chrono::seconds(60)));
}

}  // namespace
}  // namespace qs

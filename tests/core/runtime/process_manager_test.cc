#include "core/runtime/process_manager.h"

#include "core/platform/system_error.h"
#include "core/runtime/port_scanner.h"
#include "support/async_helpers.h"
#include "support/process_helpers.h"
#include "support/test_support.h"
#include "support/test_locations.h"

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>
#include <fmt/format.h>

#include <signal.h>
#include <sys/stat.h>

namespace qs {
namespace {

using namespace std::chrono_literals;
using testing::readFromPipe;
using testing::readTextFile;
using testing::startListener;
using testing::waitUntilGone;

class ProcessManagerTest : public ::testing::Test {
protected:
  void TearDown() override {
    // A failed test must not leave its servers running.
    for (auto pid : launched_) ::kill(-pid, SIGKILL);
  }

  std::filesystem::path toolchain() const { return folder_ / "toolchain"; }
  std::filesystem::path project() const { return folder_ / "project"; }
  std::filesystem::path file(const std::string& name) const { return folder_ / name; }

  // Installs a fake `swift` (a bash script with `body`) in the test toolchain.
  void writeSwift(const std::string& body) {
    auto path = toolchain() / "usr/bin/swift";
    testing::writeTextFile(path, "#!/bin/bash\n" + body + "\n");
    ::chmod(path.c_str(), 0755);
    std::filesystem::create_directories(project());
  }

  QSProcessManagerOptions options() {
    QSProcessManagerOptions options;
    options.listeningProcesses = [this](int port) {
      ++listings_;
      return listeners_(port);
    };
    options.stopGracePeriod = 300ms;
    options.orphanGracePeriod = 100ms;
    return options;
  }

  // Runs an operation on the loop to its end.
  template <typename T>
  T complete(asio::awaitable<T> operation) {
    return testing::runUntilDone(io_, std::move(operation));
  }

  QSLaunchedServer launch(QSProcessManager& manager, QSUUID id, int port = 8123,
                          std::map<std::string, std::string> environment = {}, bool skipBuild = false) {
    auto server =
        complete(manager.launchServer(id, project(), "App", port, toolchain(), std::move(environment), skipBuild));
    launched_.push_back(server.pid);
    return server;
  }

  std::optional<std::int32_t> next(QSLaunchedServer& server) { return complete(server.termination->next()); }

  asio::io_context io_;
  testing::TemporaryFolder folder_;
  std::function<std::vector<ListeningProcess>(int)> listeners_ = [](int) { return std::vector<ListeningProcess>{}; };
  int listings_ = 0;
  std::vector<std::int32_t> launched_;
};

// The real scanner's answer, except that the test's own processes count as a user's: these
// tests may run as root, and orphan reaping never touches root's processes.
std::vector<ListeningProcess> listenersAsUser(int port) {
  auto found = QSPortScanner().processesListening(port);
  for (auto& process : found) process.isRoot = false;
  return found;
}

TEST_F(ProcessManagerTest, LaunchesSwiftRunServeInTheProjectWithTheMergedEnvironmentOrTheBuiltProgram) {
  auto record = file("record");
  writeSwift("{ echo \"$0\"; printf '%s\\n' \"$@\"; } > " + record.string() + ".arguments\n"
             "pwd -P > " + record.string() + ".folder\n"
             "env > " + record.string() + ".environment\n"
             "echo building; echo warning >&2; echo started");
  testing::ScopedEnvironment owner({{"QS_PM_INHERITED", "inherited"}, {"QS_PM_OVERRIDDEN", "owner"}});
  QSProcessManager manager(io_.get_executor(), options());
  auto id = QSUUID::random();
  auto server = launch(manager, id, 8123, {{"QS_PM_OVERRIDDEN", "project"}, {"QS_PM_ADDED", "added"}});

  EXPECT_EQ(manager.processID(id), server.pid);
  // Standard error shares the pipe, so its line stays between the two it was written between.
  EXPECT_EQ(readFromPipe(server.consolePipe.get()), "building\nwarning\nstarted\n");
  EXPECT_EQ(next(server), 0);
  EXPECT_EQ(readTextFile(record.string() + ".arguments"),
            (toolchain() / "usr/bin/swift").string() + "\nrun\nApp\nserve\n--hostname\n0.0.0.0\n--port\n8123\n");
  EXPECT_EQ(readTextFile(record.string() + ".folder"), std::filesystem::canonical(project()).string() + "\n");
  auto environment = readTextFile(record.string() + ".environment");
  EXPECT_NE(environment.find("\nQS_PM_INHERITED=inherited\n"), std::string::npos);
  EXPECT_NE(environment.find("\nQS_PM_OVERRIDDEN=project\n"), std::string::npos);
  EXPECT_NE(environment.find("\nQS_PM_ADDED=added\n"), std::string::npos);
  EXPECT_EQ(environment.find("QS_PM_OVERRIDDEN=owner"), std::string::npos);

  // A rebuilt server is run as built: the debug build's program itself, so that the package
  // manager's start-up is no time without a server; `swift run --skip-build` when it is elsewhere.
  server = launch(manager, QSUUID::random(), 8124, {}, true);
  EXPECT_EQ(next(server), 0);
  EXPECT_EQ(readTextFile(record.string() + ".arguments"),
            (toolchain() / "usr/bin/swift").string() + "\nrun\n--skip-build\nApp\nserve\n--hostname\n0.0.0.0\n"
                                                       "--port\n8124\n");

  auto built = project() / ".build/debug/App";
  testing::writeTextFile(built,
                         "#!/bin/sh\n{ echo \"$0\"; printf '%s\\n' \"$@\"; } > " + record.string() + ".arguments\n");
  std::filesystem::permissions(built, std::filesystem::perms::owner_all);
  server = launch(manager, QSUUID::random(), 8125, {}, true);
  EXPECT_EQ(next(server), 0);
  EXPECT_EQ(readTextFile(record.string() + ".arguments"),
            built.string() + "\nserve\n--hostname\n0.0.0.0\n--port\n8125\n");
}

// The fake toolchain's server ends on SIGTERM, or, told to ignore it, only by SIGKILL after the
// grace period, and so it does when the stop is cancelled while it waits. A server that obeys
// is never kept for the grace period (an hour here: the test would time out).
TEST_F(ProcessManagerTest, StopEndsTheServerWithSigtermOrAfterTheGracePeriodWithSigkill) {
  struct Case {
    bool ignoresTerm, cancelled;
    int status;
  } cases[] = {{false, false, 0}, {true, false, 128 + SIGKILL}, {true, true, 128 + SIGKILL}};
  std::filesystem::create_directories(project());
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.ignoresTerm ? "ignores SIGTERM" : "obeys SIGTERM") + (c.cancelled ? ", cancelled" : ""));
    auto patience = options();
    if (!c.ignoresTerm || c.cancelled) patience.stopGracePeriod = 1h;
    QSProcessManager manager(io_.get_executor(), patience);
    auto id = QSUUID::random();
    std::map<std::string, std::string> environment;
    if (c.ignoresTerm) environment["FAKE_SWIFT_IGNORE_SIGTERM"] = "1";
    auto server = complete(manager.launchServer(id, project(), "App", 0, std::filesystem::path(qs::testing::fakeToolchainRoot()),
                                                environment, false));
    launched_.push_back(server.pid);
    for (std::string output; output.find("Server started on") == std::string::npos;) {
      std::string more = readFromPipe(server.consolePipe.get(), true);
      ASSERT_FALSE(more.empty()) << "the output ended before the server was ready: " << output;
      output += more;
    }
    EXPECT_TRUE(manager.isRunning(id));

    if (c.cancelled) {  // once the stop has to wait
      asio::cancellation_signal cancel;
      auto stopped = asio::co_spawn(io_, manager.stopServer(id),
                                    asio::bind_cancellation_slot(cancel.slot(), asio::use_future));
      io_.restart();
      io_.poll();
      cancel.emit(asio::cancellation_type::terminal);
      while (stopped.wait_for(0s) != std::future_status::ready && io_.run_one() > 0) {
      }
      stopped.get();
    } else {
      complete(manager.stopServer(id));
    }
    EXPECT_EQ(next(server), c.status);
    EXPECT_FALSE(manager.processID(id));
    EXPECT_FALSE(manager.isRunning(id));
  }
}

TEST_F(ProcessManagerTest, StopOfAnUnknownOrEndedServerAndAFailedLaunchKeepsNothing) {
  writeSwift("exit 3");
  QSProcessManager manager(io_.get_executor(), options());
  complete(manager.stopServer(QSUUID::random()));
  EXPECT_EQ(listings_, 0) << "an unknown project reaps nothing";

  auto id = QSUUID::random();
  auto server = launch(manager, id);
  EXPECT_EQ(next(server), 3);
  EXPECT_EQ(next(server), std::nullopt) << "one status, then the stream ends";
  EXPECT_FALSE(manager.isRunning(id));
  listings_ = 0;
  complete(manager.stopServer(id));
  EXPECT_EQ(listings_, 1) << "orphans on the port were looked for";
  EXPECT_FALSE(manager.processID(id));

  // A launch that fails keeps no entry (the texts of its failures are the child process's own).
  auto failed = QSUUID::random();
  EXPECT_THROW(complete(manager.launchServer(failed, project(), "App", 8123, file("nowhere"), {}, false)),
               QSSystemError);
  EXPECT_FALSE(manager.processID(failed));
}

TEST_F(ProcessManagerTest, LaunchStopsTheProjectsRunningServerFirst) {
  auto log = file("log");
  writeSwift("trap 'echo \"stopped $$\" >> " + log.string() + "; exit 0' TERM\n"
             "echo \"started $$\" >> " + log.string() + "\necho started\nsleep 1000 & wait");
  QSProcessManager manager(io_.get_executor(), options());
  auto id = QSUUID::random();
  auto first = launch(manager, id);
  ASSERT_EQ(readFromPipe(first.consolePipe.get(), true), "started\n");
  auto second = launch(manager, id);
  ASSERT_EQ(readFromPipe(second.consolePipe.get(), true), "started\n");

  EXPECT_EQ(next(first), 0);
  EXPECT_EQ(manager.processID(id), second.pid);
  EXPECT_TRUE(manager.isRunning(id));
  EXPECT_EQ(readTextFile(log), fmt::format("started {0}\nstopped {0}\nstarted {1}\n", first.pid, second.pid));
  complete(manager.stopServer(id));
  EXPECT_EQ(next(second), 0);
}

// The server's process group goes with it, even a helper that ignores SIGTERM and outlives it.
TEST_F(ProcessManagerTest, StopTakesDownHelpersTheServerStarted) {
  writeSwift("(trap '' TERM; exec sleep 1000) &\necho $!\nwait");
  QSProcessManager manager(io_.get_executor(), options());
  auto id = QSUUID::random();
  auto server = launch(manager, id);
  int helper = std::stoi(readFromPipe(server.consolePipe.get(), true));
  launched_.push_back(helper);

  complete(manager.stopServer(id));
  EXPECT_EQ(next(server), 128 + SIGTERM);
  EXPECT_TRUE(waitUntilGone(helper));
}

// Root's listeners and listeners of other names on the port are spared.
TEST_F(ProcessManagerTest, OrphanReapingSparesRootAndOtherNames) {
  writeSwift("exit 0");
  struct Case {
    std::string name;
    bool isRoot;
  } cases[] = {{"App", true}, {"app", false}, {"AppServer", false}};
  for (const auto& c : cases) {
    auto orphan = QSChildProcess::spawn({"/bin/bash", {"-c", "echo ready; exec sleep 1000"}, "/", {}});
    launched_.push_back(orphan->pid());
    auto out = orphan->takeStandardOutput();
    ASSERT_EQ(readFromPipe(out.get(), true), "ready\n");
    listeners_ = [&](int port) {
      EXPECT_EQ(port, 8123);
      return std::vector<ListeningProcess>{{orphan->pid(), c.name, c.isRoot}};
    };
    QSProcessManager manager(io_.get_executor(), options());
    auto server = launch(manager, QSUUID::random());
    EXPECT_EQ(next(server), 0);
    EXPECT_TRUE(orphan->isRunning()) << c.name;
    orphan->signal(SIGKILL);
  }
}

// Listeners of the server's name on its port are reaped at launch, even one that ignores SIGTERM
// (only the SIGKILL after the grace period ends it), and at stopAll; others on the port are spared.
TEST_F(ProcessManagerTest, LaunchAndStopAllReapTheSameNamedListenersOnThePortAndNothingElse) {
  writeSwift("echo started; sleep 1000 & wait");
  auto orphan = startListener(testing::listenerNamed(folder_.path(), "App"), 0, {"--ignore-term"});
  auto other = startListener(testing::listenerNamed(folder_.path(), "Other"), orphan.port, {"--ipv6"});
  launched_.insert(launched_.end(), {orphan.process->pid(), other.process->pid()});
  listeners_ = listenersAsUser;
  QSProcessManager manager(io_.get_executor(), options());
  auto id = QSUUID::random();
  auto server = launch(manager, id, orphan.port);
  ASSERT_EQ(readFromPipe(server.consolePipe.get(), true), "started\n");
  // The launch reaped the listener; start another one, as if the server had left it behind.
  ASSERT_TRUE(waitUntilGone(orphan.process->pid()));
  orphan = startListener(testing::listenerNamed(folder_.path(), "App"), orphan.port);
  launched_.push_back(orphan.process->pid());

  complete(manager.stopAll());
  EXPECT_FALSE(manager.processID(id));
  EXPECT_EQ(next(server), 128 + SIGTERM);
  EXPECT_TRUE(waitUntilGone(orphan.process->pid()));
  EXPECT_TRUE(other.process->isRunning());
  other.process->signal(SIGKILL);
}

}  // namespace
}  // namespace qs

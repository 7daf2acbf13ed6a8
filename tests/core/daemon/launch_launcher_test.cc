#include "core/daemon/daemon_build.h"
#include "core/daemon/daemon_client.h"
#include "core/daemon/daemon_launcher.h"
#include "core/daemon/owner_lock.h"
#include "daemon_test_support.h"
#include "support/test_support.h"
#include "support/test_locations.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <sstream>

namespace qs {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::IsolatedHome;
using testing::readTextFile;
using testing::require;
using testing::writeTextFile;

using LaunchException = QSDaemonLauncher::LaunchException;

class LauncherTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(executable.parent_path());
    fs::copy_file(fs::path(qs::testing::binFolder()) / "fake_quaysided", executable);
  }

  // Stops every daemon these tests started, whatever state a failed test left them in.
  void TearDown() override {
    for (pid_t pid : startedPids()) ::kill(pid, SIGKILL);
  }

  std::vector<std::string> logLines() const {
    std::vector<std::string> lines;
    std::istringstream in(fs::exists(log) ? readTextFile(log) : "");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::size_t linesStartingWith(const std::string& prefix) const {
    auto lines = logLines();
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }

  std::vector<pid_t> startedPids() const {
    std::vector<pid_t> pids;
    for (const auto& line : logLines())
      if (line.rfind("started ", 0) == 0) pids.push_back(std::stoi(line.substr(8)));
    return pids;
  }

  // Asks the daemon at our socket for its build.
  asio::awaitable<std::string> buildOf(std::shared_ptr<QSDaemonClient> client) {
    QSDaemonResult answer = co_await client->call(cmd::Ping{});
    require(answer.is<res::Pong>(), "ping answered with pong");
    co_return answer.get<res::Pong>()->build;
  }

  // The message of the launch failure of `launcher`; empty when it served.
  std::string launchFailure(QSDaemonLauncher launcher, std::chrono::seconds timeout) {
    std::string message;
    testing::runUntilDone(loop, [&]() -> asio::awaitable<void> {
      try {
        co_await launcher.ensureRunning(timeout);
      } catch (const LaunchException& e) {
        message = e.what();
      }
    });
    return message;
  }

  IsolatedHome home;
  fs::path executable = home.home() / "app/quaysided";
  std::string socket = (home.home() / "run/daemon.sock").string();
  std::string lock = (home.home() / "run/owner.lock").string();
  fs::path log = home.home() / ".local/share/Quayside/logs/daemon.log";
  asio::io_context loop;
  QSDaemonLauncher launcher{executable, socket, lock};
};

TEST_F(LauncherTest, StartsReusesAndReplacesTheDaemon) {
  std::string firstBuild = QSDaemonBuild::fingerprint(executable);
  testing::runUntilDone(loop, [&]() -> asio::awaitable<void> {
    auto client = co_await launcher.ensureRunning(10s);
    require(co_await buildOf(client) == firstBuild, "the daemon runs the executable's build");
    client->disconnect();
  });
  ASSERT_EQ(startedPids().size(), 1u);

  // (A daemon of the same build is reused: qs daemon start, end to end.)
  fs::last_write_time(executable, fs::last_write_time(executable) + 100s);
  std::string secondBuild = QSDaemonBuild::fingerprint(executable);
  ASSERT_NE(secondBuild, firstBuild);
  testing::runUntilDone(loop, [&]() -> asio::awaitable<void> {
    auto client = co_await launcher.ensureRunning(10s);
    require(co_await buildOf(client) == secondBuild, "the new daemon runs the touched build");
    co_await client->send(cmd::ShutdownDaemon{});
    client->disconnect();
  });
  auto pids = startedPids();
  ASSERT_EQ(pids.size(), 2u) << readTextFile(log);
  EXPECT_NE(pids[0], pids[1]);
  EXPECT_EQ(logLines()[1], "stopped " + std::to_string(pids[0])) << "the old daemon went before the new one came";
}

TEST_F(LauncherTest, ADaemonThatFindsTheLockHeldIsStartedAgainOnlyOnceTheLockIsFree) {
  QSOwnerLock ours(lock);
  ASSERT_TRUE(ours.tryAcquire());
  testing::runUntilDone(loop, [&]() -> asio::awaitable<void> {
    // Give the lock up once a launch has failed to take it.
    asio::co_spawn(
        co_await asio::this_coro::executor,
        [&]() -> asio::awaitable<void> {
          asio::steady_timer timer(co_await asio::this_coro::executor);
          while (linesStartingWith("owner lock is held") < 1) {
            timer.expires_after(20ms);
            co_await timer.async_wait(asio::use_awaitable);
          }
          ours.release();
        },
        asio::detached);
    auto client = co_await launcher.ensureRunning(60s);
    require(client->isConnected(), "connected");
    client->disconnect();
  });
  EXPECT_EQ(linesStartingWith("owner lock is held"), 1u) << readTextFile(log);
  EXPECT_EQ(startedPids().size(), 1u);
}

TEST_F(LauncherTest, ExecutablesMissingAndDaemonsThatCannotServeAreReportedWithTheReason) {
  writeTextFile(home.home() / "app/not-executable", "#!/bin/sh\n");
  fs::create_directories(home.home() / "app/folder");
  for (fs::path path : {home.home() / "app/missing", home.home() / "app/not-executable", home.home() / "app/folder"})
    EXPECT_EQ(launchFailure(QSDaemonLauncher(path, socket, lock), 5s),
              "The quaysided executable wasn't found at " + path.string() + ".");
  EXPECT_FALSE(fs::exists(log)) << "nothing was launched";

  // The lock stays held: one launch, then the holder is named when time runs out.
  QSOwnerLock ours(lock);
  ASSERT_TRUE(ours.tryAcquire());
  EXPECT_EQ(launchFailure(launcher, 1s), "Another process (pid " + std::to_string(::getpid()) + ") holds the owner lock " +
                                       lock + ", so no daemon can start; stop that process and try again.");
  EXPECT_EQ(linesStartingWith("owner lock is held"), 1u);
  ours.release();

  // One that exits at once with the lock free is started once more, then its log is pointed at.
  fs::path quitter = executable.parent_path() / "quitter";
  writeTextFile(quitter, "#!/bin/sh\necho quit\nexit 1\n");
  fs::permissions(quitter, fs::perms::owner_all);
  EXPECT_EQ(launchFailure(QSDaemonLauncher(quitter, socket, lock), 60s),
            "The daemon exited while starting; " + log.string() + " says why.");
  EXPECT_EQ(linesStartingWith("quit"), 2u);

  // One that runs on without serving: the deadline.
  fs::path silent = executable.parent_path() / "silent";
  writeTextFile(silent, "#!/bin/sh\necho \"started $$ silent\"\nexec sleep 60\n");
  fs::permissions(silent, fs::perms::owner_all);
  EXPECT_EQ(launchFailure(QSDaemonLauncher(silent, socket, lock), 1s), "The daemon was launched but didn't start serving in time.");
  EXPECT_EQ(linesStartingWith("started"), 1u);
}

// (Between processes, and let go when its holder ends: the tests above and the daemon start tests.)
TEST(OwnerLockTest, OneHolderPerPathAmongObjectsOfOneProcess) {
  testing::TemporaryFolder dir;
  auto path = dir / "nested/folder/owner.lock";
  QSOwnerLock first(path), second(path);
  EXPECT_TRUE(first.tryAcquire());
  struct stat st {};
  ASSERT_EQ(::stat((dir / "nested/folder").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u) << "the folder it makes is private: it holds the control socket";
  EXPECT_FALSE(second.tryAcquire());
  first.release();
  EXPECT_TRUE(second.tryAcquire());
  EXPECT_FALSE(first.tryAcquire());
  {
    QSOwnerLock dropped(dir / "other.lock");
    ASSERT_TRUE(dropped.tryAcquire());
  }
  EXPECT_TRUE(QSOwnerLock(dir / "other.lock").tryAcquire()) << "dropping the holder releases the lock";

  writeTextFile(dir / "plain-file", "");
  QSOwnerLock underFile(dir / "plain-file/owner.lock");
  EXPECT_FALSE(underFile.tryAcquire()) << "a path that cannot be opened is not held";
}

// qs usually runs through the links in ~/.local/bin: a link must read as the daemon it leads to,
// or every start would take the running daemon for an older build.
TEST(DaemonBuildTest, FingerprintFollowsLinks) {
  testing::TemporaryFolder dir;
  writeTextFile(dir / "quaysided", "12345");
  std::filesystem::create_symlink(dir / "quaysided", dir / "link");
  EXPECT_EQ(QSDaemonBuild::fingerprint(dir / "link"), QSDaemonBuild::fingerprint(dir / "quaysided"));
  EXPECT_TRUE(QSDaemonBuild::fingerprint(dir / "quaysided").ends_with("-5")) << "the size is part of it";
}

}  // namespace
}  // namespace qs

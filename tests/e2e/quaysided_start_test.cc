// The real quaysided entry point: started, stopped and restarted by qs; when it cannot start or is
// told to stop while starting, what it had started is stopped and the owner lock is let go.
#include "e2e/e2e_support.h"

#include "core/daemon/owner_lock.h"
#include "core/models/persistence_service.h"
#include "core/platform/file_lock.h"
#include "core/platform/regex.h"
#include "support/test_locations.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <sstream>

namespace qs::testing {
namespace {

#if QS_HAVE_QUAYSIDED

class QuaysidedStart : public E2ETest {
protected:
  QuaysidedStart() { environment["QS_TOOLCHAIN_DIRS"] = qs::testing::fakeToolchainsFolder(); }
  // A daemon left by a test that failed half-way must not outlive it.
  ~QuaysidedStart() override {
    daemon.reset();
    qs({"daemon", "stop"});
    if (auto holder = lockHolder(lockPath()); holder && *holder != ::getpid()) ::kill(*holder, SIGKILL);
  }

  std::string lockPath() { return environment["QS_DAEMON_LOCK"]; }

  // A project that the daemon starts by itself, pinned to the fake toolchain, in config.json.
  void addAutoStartProject() {
    writeVaporPackage(project, "auto");
    QSProject record;
    record.name = "auto";
    record.path = project;
    record.port = freePort();
    record.swiftVersion = "6.0.3";
    record.autoStartServerAtLogin = true;
    QSPersistenceService(QSPersistenceService::defaultConfigPath()).save(QSProjectConfiguration{1, {record}, {}});
  }

  std::shared_ptr<QSChildProcess> spawnDaemon() { return spawnQuaysided(home.home(), environment, log); }

  // Its exit status; -1 when it is still running after a minute (it hangs).
  static int exitStatusOf(QSChildProcess& daemon) { return reapWithin(daemon, std::chrono::seconds(60)).value_or(-1); }

  // Processes whose working folder is the project's: its server, and anything the server left.
  std::vector<int> processesInProject() const {
    std::vector<int> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      std::error_code error;
      auto cwd = std::filesystem::read_symlink(entry.path() / "cwd", error);
      if (!error && cwd == project) found.push_back(std::stoi(entry.path().filename().string()));
    }
    return found;
  }

  std::filesystem::path project = home.home() / "projects" / "auto";
  std::filesystem::path log = home.home() / "quaysided.log";
};

TEST_F(QuaysidedStart, AFailedStartStopsWhatItStartedLetsTheLockGoAndIsReportedAsIsAnUnreadableState) {
  addAutoStartProject();
  // Longer than a socket address holds: binding fails after the project's server was started.
  std::string tooLong = (home.home() / std::string(110, 's')).string();
  environment["QS_DAEMON_SOCKET"] = tooLong;
  auto failing = spawnDaemon();
  EXPECT_EQ(exitStatusOf(*failing), 1) << readTextFile(log);
  EXPECT_NE(readTextFile(log).find("quaysided: couldn't start: bind " + tooLong + ": File name too long; shutting down"),
            std::string::npos)
      << readTextFile(log);
  EXPECT_EQ(processesInProject(), std::vector<int>{});
  EXPECT_FALSE(isLockedElsewhere(lockPath()));

  // Another process owns the services. (What qs says then: the launcher's test.)
  environment["QS_DAEMON_SOCKET"] = socketPath();
  QSOwnerLock ours(lockPath());
  ASSERT_TRUE(ours.tryAcquire());
  EXPECT_EQ(exitStatusOf(*spawnDaemon()), 1);
  EXPECT_NE(readTextFile(log).find("quaysided: another Quayside process (pid " + std::to_string(::getpid()) +
                                   ") already owns the services (the lock " + lockPath() + " is held)"),
            std::string::npos);
  ours.release();

  // A daemon with a lock of its own leaves the socket of the one serving it alone. That one could
  // not read its state, and says so to clients.
  writeTextFile(QSPersistenceService::defaultConfigPath(), "{ not json");
  startDaemon();
  std::string limits = readTextFile("/proc/" + std::to_string(daemon->pid()) + "/limits");
  std::istringstream openFiles(limits.substr(limits.find("Max open files") + 14));
  std::string soft, hard;
  openFiles >> soft >> hard;
  EXPECT_EQ(soft, hard) << "the soft limit on open files is raised";
  auto folder = QSPersistenceService::defaultConfigPath().parent_path().string();
  std::string status = qsOK({"status"});
  EXPECT_NE(status.find("Warning: config.json couldn't be loaded ("), std::string::npos) << status;
  EXPECT_NE(status.find("); preserved a copy at " + folder + "/config.json.corrupt-"), std::string::npos) << status;
  auto projects = qs({"projects"});
  EXPECT_EQ(projects.status, 0);
  EXPECT_EQ(projects.err.rfind("qs: warning: config.json couldn't be loaded (", 0), 0u) << projects.err;
  EXPECT_NE(projects.err.find("); preserved a copy at " + folder + "/config.json.corrupt-"), std::string::npos);
  environment["QS_DAEMON_LOCK"] = (home.home() / "other.lock").string();
  EXPECT_EQ(exitStatusOf(*spawnDaemon()), 1);
  EXPECT_NE(readTextFile(log).find("couldn't start: bind " + socketPath() + ": Address already in use"),
            std::string::npos)
      << readTextFile(log);
  EXPECT_EQ(qsOK({"ping"}).rfind("pong from quaysided", 0), 0u);

  // Its log lines carry their time: "2026-12-07T09:45:20.123Z quaysided: …"
  static const QSRegex stamped(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z quaysided: )");
  std::istringstream lines(daemon->log());
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) EXPECT_TRUE(stamped.firstMatchRange(line).has_value()) << line;
  EXPECT_GE(count, 2);
}

TEST_F(QuaysidedStart, SigtermDuringStartUpStopsWhatWasStartedAndEndsTheDaemon) {
  addAutoStartProject();
  // Thousands of toolchain folders to look through (none of them there) keep the daemon's loop
  // idle while its start-up waits for the lookup: time to take in the signal before it serves.
  std::string folders = qs::testing::fakeToolchainsFolder();
  for (int n = 0; n < 3000; ++n) folders += ":" + (home.home() / "none" / std::to_string(n)).string();
  environment["QS_TOOLCHAIN_DIRS"] = folders;
  // The manifest is a pipe: reading it holds the daemon in its start-up until the test writes.
  std::string manifest = readTextFile(project / "Package.swift");
  std::filesystem::remove(project / "Package.swift");
  ASSERT_EQ(::mkfifo((project / "Package.swift").c_str(), 0644), 0);
  auto daemon = spawnDaemon();
  int pipe = ::open((project / "Package.swift").c_str(), O_WRONLY | O_CLOEXEC);  // returns once the daemon reads
  ASSERT_GE(pipe, 0);
  daemon->signal(SIGTERM);
  ASSERT_EQ(::write(pipe, manifest.data(), manifest.size()), static_cast<ssize_t>(manifest.size()));
  ::close(pipe);

  EXPECT_EQ(exitStatusOf(*daemon), 0) << readTextFile(log);
  EXPECT_EQ(processesInProject(), std::vector<int>{});
  EXPECT_FALSE(isLockedElsewhere(lockPath()));
  EXPECT_FALSE(std::filesystem::exists(socketPath()));
}

// The daemon commands with the quaysided beside qs. A stop stops what it runs and returns once the
// daemon, kept busy by a server that sits out SIGTERM, has let the owner lock go.
TEST_F(QuaysidedStart, DaemonCommandsStartStatusStopAndRestartIt) {
  auto before = qs({"daemon", "status"});
  EXPECT_EQ(before.status, 1);
  EXPECT_EQ(before.out, "The Quayside daemon isn't running.\nSocket: " + socketPath() + "\n");
  std::string started = qsOK({"daemon", "start"});
  EXPECT_EQ(started.rfind("The Quayside daemon is running (version " QS_VERSION ", build ", 0), 0u) << started;
  EXPECT_EQ(qsOK({"daemon", "start"}), started) << "a second start finds it running: nothing is replaced";
  auto status = json::parse(qsOK({"daemon", "status", "--json"}));
  EXPECT_EQ(status["running"], true);
  EXPECT_EQ(status["socket"], socketPath());
  EXPECT_EQ(status["isCurrentBuild"], true);

  int port = freePort();
  newProject("web", port);
  qsOK({"start", "web", "--wait"});
  newProject("stubborn", freePort());
  qsOK({"env", "stubborn", "set", "FAKE_SWIFT_IGNORE_SIGTERM", "1"});
  qsOK({"start", "stubborn", "--wait"});
  EXPECT_EQ(qsOK({"daemon", "stop"}), "Stopped the Quayside daemon.\n");
  EXPECT_FALSE(isLockedElsewhere(environment["QS_DAEMON_LOCK"]));
  EXPECT_EQ(httpGet(port, "/"), "");
  qsFails({"projects"});
  EXPECT_EQ(qsOK({"daemon", "stop"}), "The Quayside daemon isn't running.\n");
  EXPECT_NE(qsOK({"daemon", "restart"}).find("is running"), std::string::npos);
}

#endif

}  // namespace
}  // namespace qs::testing

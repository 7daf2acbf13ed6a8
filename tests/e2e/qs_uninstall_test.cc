// `qs uninstall` against the real daemon, on a scratch system root.
#include "e2e/e2e_support.h"

#include "core/platform/file_lock.h"
#include "core/platform/privileges.h"
#include "support/test_locations.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

namespace qs::testing {
namespace {

using ::testing::HasSubstr;

namespace fs = std::filesystem;

class QsUninstallTest : public ScratchSystemTest {
protected:
  QsUninstallTest() { writeVaporPackage(project, "blog", "SECRET=\"kept\"\n"); }

  fs::path project = home.home() / "Projects/blog";
  fs::path data = home.home() / ".local/share/Quayside";
};

TEST_F(QsUninstallTest, AsksFirstAndNamesADaemonThatDoesNotStop) {
  writeTextFile(data / "config.json", "{}");
  EXPECT_EQ(qsFails({"uninstall"}), "qs: qs uninstall asks before it removes anything, and there is no terminal to "
                                    "ask on; pass --yes (-y) to uninstall without asking.\n");
  auto declined = qsOnTerminal({"uninstall", "--keep-data"}, "n\n");
  EXPECT_EQ(declined.status, 1);
  EXPECT_THAT(declined.out, HasSubstr("qs uninstall removes Quayside from this machine:\r\n"));
  EXPECT_THAT(declined.out, HasSubstr("  Kept (--keep-data): " + data.string()));
  EXPECT_THAT(declined.out, HasSubstr("Your project folders and their .env files are never touched.\r\n"
                                      "Uninstall Quayside? [y/N] "));
  EXPECT_THAT(declined.out, HasSubstr("qs: Nothing was removed."));

  // With --keep-data and --json, while a process of the test holds the owner lock and answers on
  // no socket: the daemon that does not stop is named, and the data stays.
  auto lock = openLockFile(environment["QS_DAEMON_LOCK"]);
  ASSERT_TRUE(tryLockExclusive(lock));
  auto result = qs({"uninstall", "-y", "--keep-data", "--json"});
  EXPECT_EQ(result.status, 1);
  auto out = nlohmann::json::parse(result.out);
  EXPECT_EQ(out["daemon"], (nlohmann::json{{"wasRunning", true},
                                           {"stopped", false},
                                           {"pid", ::getpid()},
                                           {"detail", "A process (pid " + std::to_string(::getpid()) +
                                                          ") holds the daemon's owner lock " +
                                                          environment["QS_DAEMON_LOCK"] +
                                                          " but doesn't answer on the socket " + socketPath() +
                                                          "; stop it and try again."}}));
  EXPECT_EQ(out["steps"], nlohmann::json::parse(R"([{"step": "Disable .test routing", "succeeded": true},
    {"step": "Remove HTTPS certificate", "succeeded": true},
    {"step": "Remove CLI tools and login item", "succeeded": true}])"));
  EXPECT_EQ(out["succeeded"], false);
  EXPECT_TRUE(fs::exists(data / "config.json"));
}

TEST_F(QsUninstallTest, StopsTheDaemonAndRemovesEverythingButTheProjects) {
  startDaemon();
  qsOK({"add", project.string()});
  qsOK({"daemon", "install", "--autostart"});
  if (isRunningAsRoot()) {  // the scratch root's scripts run directly only as root
    qsOK({"routing", "enable", "--yes"});
    qsOK({"ca", "trust"});
  }
  auto removed = qs({"uninstall", "-y"});
  EXPECT_EQ(removed.err, "");
  EXPECT_EQ(removed.out, "✓ Stop the Quayside daemon\n✓ Disable .test routing\n✓ Remove HTTPS certificate\n"
                         "✓ Remove CLI tools and login item\n✓ Delete app data\n"
                         "Quayside is removed; your project folders are as they were. The programs themselves stay "
                         "in " + qs::testing::binFolder() + ": delete them the way you installed them.\n");
  EXPECT_EQ(removed.status, 0);
  EXPECT_FALSE(isListenedOn(socketPath()));
  EXPECT_FALSE(fs::exists(data));
  EXPECT_EQ(readTextFile(project / ".env"), "SECRET=\"kept\"\n");
}

}  // namespace
}  // namespace qs::testing

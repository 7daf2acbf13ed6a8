#include "core/daemon/daemon_installer.h"
#include "core/platform/paths.h"
#include "core/platform/system_error.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace qs {
namespace {

namespace fs = std::filesystem;
using testing::IsolatedHome;
using testing::readTextFile;
using testing::writeTextFile;

using InstallException = QSDaemonInstaller::InstallException;

// A systemctl stand-in that appends its arguments to a record file, one call per line, and
// exits with `failStatus` when its arguments contain `failOn`.
fs::path makeSystemctl(const fs::path& folder, const std::string& failOn = "", int failStatus = 0) {
  fs::path script = folder / "systemctl";
  writeTextFile(script, "#!/bin/sh\n"
                        "echo \"$*\" >> '" + (folder / "calls").string() + "'\n"
                        "case \"$*\" in *'" + failOn + "'*) [ -n '" + failOn + "' ] && exit " +
                            std::to_string(failStatus) + ";; esac\n"
                        "exit 0\n");
  fs::permissions(script, fs::perms::owner_all);
  return script;
}

std::string callsRecorded(const fs::path& folder) {
  return fs::exists(folder / "calls") ? readTextFile(folder / "calls") : "";
}

class InstallerTest : public ::testing::Test {
protected:
  void SetUp() override {
    cli = home.home() / "App/bin/qs-cli";
    daemon = home.home() / "App/bin/quaysided";
    writeTextFile(cli, "#!/bin/sh\n");
    writeTextFile(daemon, "#!/bin/sh\n");
    bin = home.home() / ".local/bin";
    tools = home.home() / "tools";
    fs::create_directories(tools);
  }

  IsolatedHome home;
  fs::path cli, daemon, bin, tools;
};

TEST_F(InstallerTest, LinksReplaceWhatIsThereUnlessItIsAFolderAndUninstallRemovesOnlyLinks) {
  writeTextFile(bin / "qs", "an older copy");
  fs::create_symlink("/nowhere", bin / "quaysided");
  QSDaemonInstaller installer(makeSystemctl(tools));
  writeTextFile(home.home() / "a-file", "");
  fs::path underFile = home.home() / "a-file/bin";
  EXPECT_EQ(testing::thrownMessage<InstallException>([&] { installer.install(cli, daemon, underFile, false); }),
            "Couldn't write to " + underFile.string() +
                ". Pass --prefix <dir> to choose a writable directory on your PATH.");

  installer.install(cli, daemon, bin, false);
  EXPECT_EQ(fs::read_symlink(bin / "qs"), cli);
  EXPECT_EQ(fs::read_symlink(bin / "quayside"), cli);
  EXPECT_EQ(fs::read_symlink(bin / "quaysided"), daemon);
  EXPECT_FALSE(installer.isAutoStartInstalled());
  EXPECT_EQ(callsRecorded(tools), "") << "no login item was asked for";

  fs::remove(bin / "quayside");
  writeTextFile(bin / "quayside", "the user's own script");
  writeTextFile(bin / "other-tool", "unrelated");
  installer.uninstall(bin);
  EXPECT_FALSE(fs::exists(fs::symlink_status(bin / "qs")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(bin / "quaysided")));
  EXPECT_EQ(readTextFile(bin / "quayside"), "the user's own script");
  EXPECT_EQ(readTextFile(bin / "other-tool"), "unrelated");
  EXPECT_EQ(callsRecorded(tools), "") << "no unit, so nothing to disable";

  // A folder sitting where a link goes is not removed.
  fs::remove(bin / "quayside");
  fs::create_directories(bin / "quayside");
  EXPECT_THROW(installer.install(cli, daemon, bin, false), QSSystemError);
  EXPECT_TRUE(fs::is_directory(bin / "quayside"));
  EXPECT_EQ(fs::read_symlink(bin / "qs"), cli) << "links made before the failure stay";
}

TEST_F(InstallerTest, AutoStartWritesTheUserUnitAndRegistersIt) {
  QSDaemonInstaller installer(makeSystemctl(tools));
  installer.install(cli, daemon, bin, true);
  fs::path unit = home.home() / ".config/systemd/user/quaysided.service";
  EXPECT_TRUE(installer.isAutoStartInstalled());
  fs::path log = home.home() / ".local/share/Quayside/logs/daemon.log";
  EXPECT_EQ(readTextFile(unit), QSDaemonInstaller::unitText(bin / "quaysided", log));
  EXPECT_TRUE(fs::is_directory(home.home() / ".local/share/Quayside/logs")) << "systemd won't create it";
  EXPECT_EQ(callsRecorded(tools), "--user daemon-reload\n--user enable --now quaysided.service\n");

  fs::remove(tools / "calls");
  installer.disableAutoStart();
  EXPECT_FALSE(installer.isAutoStartInstalled());
  EXPECT_EQ(callsRecorded(tools), "--user disable --now quaysided.service\n");

  installer.enableAutoStart(bin / "quaysided");
  fs::remove(tools / "calls");
  installer.uninstall(bin);
  EXPECT_FALSE(fs::exists(unit));
  EXPECT_FALSE(fs::exists(fs::symlink_status(bin / "quaysided")));
  EXPECT_EQ(callsRecorded(tools), "--user disable --now quaysided.service\n");
}

TEST_F(InstallerTest, AFailedRegistrationLeavesNoUnitAndSaysWhetherSystemdIsMissing) {
  const std::string missing =
      "systemd isn't running on this machine, so the daemon can't be started at login; start it with 'qs daemon start'.";
  struct Case {
    std::string failOn;
    int status;
    bool systemdRuns;
    std::string message;
  } cases[] = {
      {"enable", 5, true, "systemctl failed (exit 5) while registering the daemon's login item."},
      {"daemon-reload", 1, false, missing},  // systemctl installed, but no systemd (a container)
  };
  for (const auto& c : cases) {
    fs::path systemctl = makeSystemctl(tools, c.failOn, c.status);
    QSDaemonInstaller installer(systemctl, c.systemdRuns ? tools : home.home() / "no-systemd");
    EXPECT_EQ(testing::thrownMessage<InstallException>([&] { installer.enableAutoStart(bin / "quaysided"); }), c.message)
        << c.failOn;
    EXPECT_FALSE(installer.isAutoStartInstalled()) << "the unit file is removed again";
  }
}

// Paths are taken literally by systemd. A user unit starts with systemd's own short PATH: the
// daemon would not find /opt/swift/usr/bin or the toolchain folders the installing shell named,
// and would build with nothing.
TEST(InstallerUnitTest, TheUnitQuotesItsPathsAndCarriesTheShellsPathAndToolchainFolders) {
  struct Case {
    const char* daemon;
    const char* log;
    std::map<std::string, std::optional<std::string>> shell;
    std::vector<std::string> lines;
    std::string absent;  // a variable the unit must not set
  } cases[] = {
      {"/opt/qs/quaysided", "/l/daemon.log",
       {{"PATH", "/usr/bin:/opt/swift/usr/bin"}, {"QS_TOOLCHAIN_DIRS", "/t/a b:/t/100%"}},
       {"ExecStart=/opt/qs/quaysided\n", "StandardOutput=append:/l/daemon.log\n",
        "Environment=\"PATH=/usr/bin:/opt/swift/usr/bin\"\n", "Environment=\"QS_TOOLCHAIN_DIRS=/t/a b:/t/100%%\"\n"}},
      {"/home/a b/quaysided", "/a b/d.log", {{"PATH", "/x/\"q\\$HOME"}, {"QS_TOOLCHAIN_DIRS", std::nullopt}},
       {"ExecStart=\"/home/a b/quaysided\"\n", "StandardOutput=append:/a b/d.log\n", "Environment=\"PATH=/x/\\\"q\\\\$HOME\"\n"},
       "QS_TOOLCHAIN_DIRS"},
      {"/x/100%/$HOME/q", "/x/100%/$d.log", {}, {"ExecStart=/x/100%%/$$HOME/q\n", "StandardOutput=append:/x/100%%/$d.log\n"}},
      {"/x/\"q\\", "/l", {}, {"ExecStart=\"/x/\\\"q\\\\\"\n", "StandardOutput=append:/l\n"}},
  };
  for (const auto& c : cases) {
    testing::ScopedEnvironment shell(c.shell);
    std::string text = QSDaemonInstaller::unitText(c.daemon, c.log);
    for (const auto& line : c.lines) EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_TRUE(c.absent.empty() || text.find(c.absent) == std::string::npos) << text;
  }
}

}  // namespace
}  // namespace qs

// How scripts get to run as root: the choice, and the real runner with stand-in sudo and pkexec.
#include "core/routing/privileged_runner.h"
#include "core/routing/privileged_error.h"
#include "core/platform/paths.h"
#include "core/routing/shell_quoting.h"
#include "support/test_support.h"

#include <gmock/gmock.h>

namespace qs {
namespace {

TEST(PrivilegedRunnerTest, ChoosesTheFirstWayThatCanWork) {
  const std::filesystem::path sudo = "/usr/bin/sudo", pkexec = "/usr/bin/pkexec";
  struct Case {
    QSPrivilegeSituation situation;
    QSPrivilegeMethod expected;
  };
  const Case cases[] = {
      {{.isRoot = true}, QSPrivilegeMethod::direct},
      {{.sudo = sudo, .sudoWithoutPrompt = true, .desktopSession = true, .pkexec = pkexec}, QSPrivilegeMethod::sudoNoPrompt},
      {{.sudo = sudo, .onTerminal = true, .desktopSession = true, .pkexec = pkexec}, QSPrivilegeMethod::sudoPrompt},
      {{.sudo = sudo, .desktopSession = true, .pkexec = pkexec}, QSPrivilegeMethod::pkexec},
      {{.sudo = sudo, .pkexec = pkexec}, QSPrivilegeMethod::unavailable},       // a daemon: no terminal, no desktop
      {{.onTerminal = true, .desktopSession = true}, QSPrivilegeMethod::unavailable},  // neither sudo nor pkexec
  };
  for (const auto& c : cases) EXPECT_EQ(choosePrivilegeMethod(c.situation), c.expected) << static_cast<int>(c.expected);
}

// A stand-in sudo and pkexec that log their calls and answer as `behaviour` says:
// "refuse" (sudo -v fails: wrong password; pkexec exits 126: dialog dismissed), "no-agent"
// (pkexec exits 127 without running anything), anything else: they run the command.
struct StandInElevation {
  testing::IsolatedHome home;
  testing::TemporaryFolder folder;
  std::filesystem::path sudo = folder / "sudo", pkexec = folder / "pkexec";
  explicit StandInElevation(const std::string& behaviour) {
    auto log = shellQuoted((folder / "calls").string());
    testing::writeTextFile(sudo, "#!/bin/bash\necho \"sudo $*\" >> " + log + "\n" +
                                     "if [ \"$1\" = -v ]; then [ " + shellQuoted(behaviour) + " != refuse ]; exit; fi\n" +
                                     "shift; exec \"$@\"\n");
    testing::writeTextFile(pkexec, "#!/bin/bash\necho \"pkexec $*\" >> " + log + "\ncase " + shellQuoted(behaviour) +
                                       " in refuse) exit 126;; no-agent) exit 127;; esac\nshift; exec \"$@\"\n");
    std::filesystem::permissions(sudo, std::filesystem::perms::owner_all);
    std::filesystem::permissions(pkexec, std::filesystem::perms::owner_all);
  }
  // What running `script` in `situation` gives: its output, or the failure's text.
  std::string outcome(QSPrivilegeSituation situation, const std::string& script) const {
    try {
      QSSystemPrivilegedRunner runner(true, [situation] { return situation; });
      return runner.run(script, "no way to ask here");
    } catch (const QSPrivilegedException& e) {
      return "error: " + std::string(e.what());
    }
  }
  std::string calls() const {
    return std::filesystem::exists(folder / "calls") ? testing::readTextFile(folder / "calls") : "";
  }
};

const std::string kEcho = "#!/bin/bash\necho ran\n";

TEST(PrivilegedRunnerTest, PromptsThatFailNeverRunTheScript) {
  {
    StandInElevation refusing("refuse");
    const std::string cancelled =
        "error: The administrator password prompt was cancelled; nothing was changed.";
    EXPECT_EQ(refusing.outcome({.sudo = refusing.sudo, .onTerminal = true}, kEcho), cancelled);
    EXPECT_EQ(refusing.calls(), "sudo -v\n");
    EXPECT_EQ(refusing.outcome({.desktopSession = true, .pkexec = refusing.pkexec}, kEcho), cancelled);
    EXPECT_EQ(refusing.outcome({}, kEcho), "error: no way to ask here");
  }
  StandInElevation noAgent("no-agent");
  EXPECT_EQ(noAgent.outcome({.desktopSession = true, .pkexec = noAgent.pkexec}, kEcho),
            "error: no way to ask here");
}

TEST(PrivilegedRunnerTest, ScriptsRunThroughSudoOrPkexec) {
  StandInElevation granting("grant");
  EXPECT_EQ(granting.outcome({.sudo = granting.sudo, .onTerminal = true}, kEcho), "ran\n");
  EXPECT_THAT(granting.calls(), ::testing::MatchesRegex("sudo -v\nsudo -n /bin/bash /.*/qs-privileged-[-0-9A-F]+\n"));
  // The script's own exit 127 (a missing command) is the script failing, not pkexec refusing.
  const std::string missingCommand = "#!/bin/bash\nno-such-command-here\n";
  EXPECT_THAT(granting.outcome({.desktopSession = true, .pkexec = granting.pkexec}, missingCommand),
              ::testing::MatchesRegex("error: The change as administrator failed \\(exit 127\\):\n"
                                      "/.*/qs-privileged-.*: line 3: no-such-command-here: command not found"));
  EXPECT_EQ(granting.outcome({.sudo = granting.sudo, .sudoWithoutPrompt = true}, kEcho), "ran\n");
  for (const auto& entry : std::filesystem::directory_iterator(QSPaths::temporaryFolder()))
    EXPECT_THAT(entry.path().filename().string(), ::testing::StartsWith("qs-test-"));  // staged scripts are gone
}

}  // namespace
}  // namespace qs

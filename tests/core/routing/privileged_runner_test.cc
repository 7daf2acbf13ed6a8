// How scripts get to run as root, and the real runner where the tests run as root.
#include "core/routing/privileged_runner.h"
#include "core/platform/privileges.h"
#include "core/routing/privileged_error.h"
#include "core/platform/paths.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

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
      {{.onTerminal = true, .desktopSession = true, .pkexec = pkexec}, QSPrivilegeMethod::pkexec},
      {{.sudo = sudo, .pkexec = pkexec}, QSPrivilegeMethod::unavailable},       // a daemon: no terminal, no desktop
      {{.onTerminal = true, .desktopSession = true}, QSPrivilegeMethod::unavailable},  // neither sudo nor pkexec
  };
  for (const auto& c : cases) EXPECT_EQ(choosePrivilegeMethod(c.situation), c.expected) << static_cast<int>(c.expected);
}

TEST(PrivilegedRunnerTest, RunsAsRootAndReportsAFailingScript) {
  if (!isRunningAsRoot()) GTEST_SKIP() << "the direct run needs the tests to run as root";
  testing::IsolatedHome home;
  QSSystemPrivilegedRunner runner;
  EXPECT_EQ(runner.run("#!/bin/bash\nid -u\n", "unused"), "0\n");
  try {
    runner.run("#!/bin/bash\nset -e\necho partial\necho 'mkdir: cannot create directory' >&2\nexit 3\n", "unused");
    ADD_FAILURE() << "succeeded";
  } catch (const QSPrivilegedException& e) {
    EXPECT_EQ(std::string(e.what()), "The change as administrator failed (exit 3):\nmkdir: cannot create directory");
  }
  EXPECT_TRUE(std::filesystem::is_empty(QSPaths::temporaryFolder()));  // the staged script is gone
}

}  // namespace
}  // namespace qs

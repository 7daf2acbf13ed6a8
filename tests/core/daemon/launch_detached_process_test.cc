#include "core/platform/detached_process.h"
#include "core/platform/system_error.h"
#include "support/process_helpers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

namespace qs {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;
using testing::readTextFile;
using testing::writeTextFile;

bool awaitExit(const QSDetachedProcess& process) {
  return testing::pollUntil([&] { return process.hasExited(); }, std::chrono::seconds(10));
}

pid_t parentOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  // "pid (comm) state ppid ...": comm may hold spaces, so start after the last ')'.
  std::istringstream rest(line.substr(line.rfind(')') + 2));
  char state;
  pid_t ppid = 0;
  rest >> state >> ppid;
  return ppid;
}

TEST(DetachedProcessTest, RunsInItsOwnSessionWithOutputAppendedAndIsNobodysChildHere) {
  TemporaryFolder dir;
  fs::path log = dir / "daemon.log";
  writeTextFile(log, "earlier\n");
  writeTextFile(dir / "go", "");
  QSDetachedProcessOptions options{
      .executable = "/bin/sh",
      .arguments = {"-c", "echo \"out $MARK $(pwd)\"; echo err >&2; read line; echo \"stdin:$line.\";"
                          "while [ -e '" + (dir / "go").string() + "' ]; do sleep 0.05; done"},
      .environment = {{"MARK", "m1"}},
      .outputFile = log,
  };
  QSDetachedProcess process = spawnDetached(options);
  ASSERT_GT(process.pid(), 0);
  EXPECT_FALSE(process.hasExited());
  EXPECT_NE(::getsid(process.pid()), ::getsid(0));
  EXPECT_NE(parentOf(process.pid()), ::getpid());

  fs::remove(dir / "go");
  ASSERT_TRUE(awaitExit(process));
  EXPECT_EQ(readTextFile(log), "earlier\nout m1 /\nerr\nstdin:.\n");
  // The intermediate was reaped and the daemon was never ours: no child is left to wait for.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST(DetachedProcessTest, OutputGoesToTheNullDeviceWhenTheFileCannotBeOpened) {
  TemporaryFolder dir;
  QSDetachedProcess process = spawnDetached({.executable = "/bin/echo",
                                             .arguments = {"lost"},
                                             .outputFile = dir / "missing-folder/daemon.log"});
  EXPECT_TRUE(awaitExit(process));
  EXPECT_FALSE(fs::exists(dir / "missing-folder"));
}

TEST(DetachedProcessTest, ProgramsThatCannotBeExecutedFailTheSpawn) {
  TemporaryFolder dir;
  writeTextFile(dir / "not-executable", "#!/bin/sh\n");
  struct Case {
    fs::path program;
    std::string message;
  } cases[] = {
      {dir / "missing", "spawn " + (dir / "missing").string() + ": No such file or directory"},
      {dir / "not-executable", "spawn " + (dir / "not-executable").string() + ": Permission denied"},
      {dir.path(), "spawn " + dir.path().string() + ": Permission denied"},
  };
  for (const auto& c : cases) {
    try {
      spawnDetached({.executable = c.program});
      ADD_FAILURE() << c.program;
    } catch (const QSSystemError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "failed spawns leave no child behind either";
}

}  // namespace
}  // namespace qs

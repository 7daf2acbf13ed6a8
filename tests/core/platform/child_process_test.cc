#include "core/platform/child_process.h"
#include "core/platform/system_error.h"
#include "support/process_helpers.h"
#include "support/test_support.h"

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include <fcntl.h>
#include <signal.h>

namespace qs {
namespace {

using testing::readFromPipe;
using testing::TemporaryFolder;

std::int32_t awaitExit(QSChildProcess& process) {
  asio::io_context io;
  auto status = asio::co_spawn(io, process.waitForExit(), asio::use_future);
  io.run();
  return status.get();
}

std::shared_ptr<QSChildProcess> shell(const std::string& script) {
  return QSChildProcess::spawn({"/bin/sh", {"-c", script}, "/", {}});
}

std::string statusLine(const std::string& status, const std::string& key) {
  auto start = status.find("\n" + key + ":\t");
  if (start == std::string::npos) return "";
  start += key.size() + 3;
  return status.substr(start, status.find('\n', start) - start);
}

TEST(ChildProcessTest, StartsWithDefaultSignalsAnEmptyMaskAndItsOwnGroup) {
  // The daemon ignores SIGPIPE; a server it starts must not inherit that, nor a blocked signal.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &previous);
  sigset_t block, saved;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR2);
  ::pthread_sigmask(SIG_BLOCK, &block, &saved);

  auto process = QSChildProcess::spawn({"/bin/cat", {"/proc/self/status"}, "/", {}});
  ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  ::sigaction(SIGPIPE, &previous, nullptr);

  auto out = process->takeStandardOutput();
  std::string status = readFromPipe(out.get());
  // Signals 1–31 only: the C library keeps its two internal real-time signals to itself.
  EXPECT_EQ(std::stoull(statusLine(status, "SigIgn"), nullptr, 16) & 0x7fffffffULL, 0u) << status;
  EXPECT_EQ(statusLine(status, "SigBlk"), "0000000000000000");
  EXPECT_EQ(statusLine(status, "NSpgid"), std::to_string(process->pid()));
  EXPECT_EQ(awaitExit(*process), 0);
}

TEST(ChildProcessTest, GivesTheChildNoInputAndNoStrayDescriptors) {
  // cat with no arguments copies standard input: from /dev/null it ends at once, printing nothing.
  auto cat = QSChildProcess::spawn({"/bin/cat", {}, "/", {}});
  auto out = cat->takeStandardOutput();
  EXPECT_EQ(readFromPipe(out.get()), "");
  EXPECT_EQ(awaitExit(*cat), 0);

  int stray = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(stray, 3);
  auto probe = shell("test -e /proc/self/fd/" + std::to_string(stray));
  EXPECT_EQ(awaitExit(*probe), 1) << "descriptor " << stray << " leaked into the child";
  ::close(stray);
}

TEST(ChildProcessTest, TracksRunningUntilEndedAndSignalsOnlyTheLivingChild) {
  auto process = shell("exec sleep 1000");
  EXPECT_TRUE(process->isRunning());
  EXPECT_FALSE(process->reap());
  EXPECT_TRUE(process->signal(SIGTERM));
  ASSERT_TRUE(testing::waitUntilGone(process->pid()));
  EXPECT_FALSE(process->isRunning()) << "an ended child counts as ended before it is reaped";
  EXPECT_EQ(process->reap(), 128 + SIGTERM);
  EXPECT_FALSE(process->signal(SIGTERM));
  EXPECT_FALSE(process->signalGroup(SIGTERM)) << "the group is empty";
}

TEST(ChildProcessTest, NamesTheMissingFolderOrProgram) {
  TemporaryFolder folder;
  testing::writeTextFile(folder / "file", "x");
  struct Case {
    std::filesystem::path executable, workingDirectory;
    std::string message;
  } cases[] = {
      {folder / "usr/bin/swift", folder.path(),
       "spawn " + (folder / "usr/bin/swift").string() + ": No such file or directory"},
      {"/bin/sh", folder / "missing", "chdir " + (folder / "missing").string() + ": No such file or directory"},
      {"/bin/sh", folder / "file", "chdir " + (folder / "file").string() + ": Not a directory"},
      {folder / "file", folder.path(), "spawn " + (folder / "file").string() + ": Permission denied"},
  };
  for (const auto& c : cases) {
    try {
      QSChildProcess::spawn({c.executable, {}, c.workingDirectory, {}});
      ADD_FAILURE() << "started " << c.executable;
    } catch (const QSSystemError& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
  }
}

TEST(ProcessHandleTest, SignalsThroughAHandleAndProbesWithSignalZero) {
  auto process = shell("exec sleep 1000");
  auto handle = openProcessHandle(process->pid());
  ASSERT_TRUE(handle);
  EXPECT_TRUE(signalProcessHandle(handle, 0));
  EXPECT_TRUE(signalProcessHandle(handle, SIGKILL));
  EXPECT_EQ(awaitExit(*process), 128 + SIGKILL);
  EXPECT_FALSE(signalProcessHandle(handle, 0)) << "reaped: nothing left to reach";
}

}  // namespace
}  // namespace qs

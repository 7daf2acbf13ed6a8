#include "core/platform/child_process.h"
#include "core/platform/detached_process.h"
#include "core/platform/exec_program.h"
#include "core/platform/process_environment.h"
#include "core/platform/process_runner.h"
#include "core/platform/sigpipe_guard.h"
#include "core/platform/system_error.h"
#include "core/platform/terminal.h"
#include "support/async_helpers.h"
#include "support/process_helpers.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>

namespace qs {
namespace {

using testing::readFromPipe;
using testing::TemporaryFolder;

std::int32_t awaitExit(QSChildProcess& process) {
  asio::io_context io;
  return testing::runUntilDone(io, process.waitForExit());
}

bool awaitExit(const QSDetachedProcess& process) {
  return testing::pollUntil([&] { return process.hasExited(); }, std::chrono::seconds(10));
}

std::shared_ptr<QSChildProcess> shell(const std::string& script) {
  return QSChildProcess::spawn({"/bin/sh", {"-c", script}, "/", {}});
}

// What a started program reports about itself: its ignored and blocked signals (1-31 only: the
// C library keeps its two internal real-time signals to itself) and whether `stray` leaked in.
const std::string kProbe =
    "for key in SigIgn SigBlk; do v=$(grep \"^$key:\" /proc/$$/status | cut -f2); "
    "echo $key=$(( 0x$v & 0x7fffffff )); done; test -e /proc/$$/fd/$STRAY && echo leaked; true";

std::string probeChild(const std::map<std::string, std::string>& environment) {
  auto process = QSChildProcess::spawn({"/bin/sh", {"-c", kProbe}, "/", environment});
  auto out = process->takeStandardOutput();
  std::string text = readFromPipe(out.get());
  EXPECT_EQ(awaitExit(*process), 0);
  return text;
}

std::string probeTool(const std::map<std::string, std::string>& environment) {
  return runProcess({"/bin/sh", "-c", kProbe}, {.environment = environment}).output;
}

std::string probeDetached(const std::map<std::string, std::string>& environment) {
  TemporaryFolder folder;
  auto process = spawnDetached({"/bin/sh", {"-c", kProbe}, environment, folder / "out"});
  EXPECT_TRUE(awaitExit(process));
  return testing::readTextFile(folder / "out");
}

// Servers, tools and detached daemons all start from a clean slate, whatever the thread that
// starts them ignores (the daemon ignores SIGPIPE) or blocks, and whatever it has open.
TEST(SpawnTest, EveryKindOfChildStartsWithDefaultSignalsAndNoneOfOurDescriptors) {
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &previous);
  sigset_t block, saved;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR2);
  ::pthread_sigmask(SIG_BLOCK, &block, &saved);
  int stray = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  std::map<std::string, std::string> environment{{"STRAY", std::to_string(stray)}};

  struct Case {
    const char* kind;
    std::string (*probe)(const std::map<std::string, std::string>&);
  } cases[] = {{"child", probeChild}, {"tool", probeTool}, {"detached", probeDetached}};
  for (const auto& c : cases) EXPECT_EQ(c.probe(environment), "SigIgn=0\nSigBlk=0\n") << c.kind;

  ::close(stray);
  ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  ::sigaction(SIGPIPE, &previous, nullptr);
}

// cat with no arguments copies standard input: from /dev/null it ends at once, printing nothing.
// (Leading its own group: the process manager's tests stop a server's helpers through it.)
TEST(ChildProcessTest, HasNoInput) {
  auto cat = QSChildProcess::spawn({"/bin/cat", {}, "/", {}});
  auto out = cat->takeStandardOutput();
  EXPECT_EQ(readFromPipe(out.get()), "");
  EXPECT_EQ(awaitExit(*cat), 0);
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
      {folder / "file", folder.path(), "spawn " + (folder / "file").string() + ": Permission denied"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(testing::thrownMessage<QSSystemError>([&] {
                QSChildProcess::spawn({c.executable, {}, c.workingDirectory, {}});
              }),
              c.message);
}

TEST(DetachedProcessTest, RunsInItsOwnSessionWithOutputAppendedAndIsNobodysChildHere) {
  TemporaryFolder dir;
  std::filesystem::path log = dir / "daemon.log";
  testing::writeTextFile(log, "earlier\n");
  testing::writeTextFile(dir / "go", "");
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

  std::filesystem::remove(dir / "go");
  ASSERT_TRUE(awaitExit(process));
  EXPECT_EQ(testing::readTextFile(log), "earlier\nout m1 /\nerr\nstdin:.\n");
  // The intermediate was reaped and the daemon, ended but never reaped here, was never ours:
  // no child is left to wait for.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

// A program that cannot be run fails the spawn (the other reasons: NamesTheMissingFolderOrProgram,
// the same spawn).
TEST(DetachedProcessTest, AnUnrunnableProgramLeavesNoChild) {
  TemporaryFolder dir;
  EXPECT_EQ(testing::thrownMessage<QSSystemError>([&] { spawnDetached({.executable = dir / "missing"}); }),
            "spawn " + (dir / "missing").string() + ": No such file or directory");
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a failed spawn leaves no child behind either";
}

// An empty variable counts as unset (an empty QS_DAEMON_SOCKET means the default one).
TEST(ProcessEnvironmentTest, EmptyIsUnset) {
  testing::ScopedEnvironment environment({{"QS_TEST_EMPTY", ""}, {"QS_TEST_SET", " x "}, {"QS_TEST_UNSET", std::nullopt}});
  EXPECT_EQ(environmentValue("QS_TEST_EMPTY"), std::nullopt);
  EXPECT_EQ(environmentValue("QS_TEST_UNSET"), std::nullopt);
  EXPECT_EQ(environmentValue("QS_TEST_SET"), " x ");
}

// `qs db console` becomes the database client: the variables given replace this process's, the
// ones dropped are gone (a password among them), the rest come along; a program that cannot
// run is named, and this process goes on.
TEST(ExecProgramTest, BecomesTheProgramWithTheGivenEnvironment) {
  testing::ScopedEnvironment environment(
      {{"QS_TEST_KEPT", "kept"}, {"QS_TEST_DROPPED", "secret"}, {"QS_TEST_REPLACED", "old"}});
  auto console = [] {
    execProgram("/bin/sh", {"console", "-c", "echo \"$0 $QS_TEST_KEPT ${QS_TEST_DROPPED-none} $QS_TEST_REPLACED\""},
                {{"QS_TEST_REPLACED", "new"}}, {"QS_TEST_DROPPED"});
  };
  EXPECT_EQ(testing::outputOfForkedChild(console), "console kept none new\n");
  EXPECT_EQ(testing::thrownMessage<QSSystemError>([] { execProgram("/nonexistent/psql", {"psql"}, {}, {}); }),
            "exec /nonexistent/psql: No such file or directory");
}

// A write to a pipe whose reader has gone fails with EPIPE instead of ending the process, and
// leaves no SIGPIPE pending or blocked to end it later (this process keeps SIGPIPE's default).
TEST(SigpipeGuardTest, AWriteToAClosedPipeFailsInsteadOfEndingTheProcess) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  for (int round = 0; round < 2; ++round) {
    errno = 0;
    EXPECT_EQ(withoutSigpipe([&] { return ::write(fds[1], "x", 1); }), -1);
    EXPECT_EQ(errno, EPIPE);
  }
  ::close(fds[1]);
  sigset_t pending, blocked;
  sigpending(&pending);
  ::pthread_sigmask(SIG_SETMASK, nullptr, &blocked);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
  EXPECT_FALSE(sigismember(&blocked, SIGPIPE));
}

// Tables are cut to the terminal's width: a pipe, or a terminal never sized, has none.
TEST(TerminalTest, ColumnsOnlyOfASizedTerminal) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  EXPECT_FALSE(isTerminal(fds[0]));
  EXPECT_EQ(terminalColumns(fds[1]), std::nullopt);
  ::close(fds[0]);
  ::close(fds[1]);
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master) | ::unlockpt(master), 0);
  int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(terminal, 0);
  EXPECT_TRUE(isTerminal(terminal));
  EXPECT_EQ(terminalColumns(terminal), std::nullopt);
  winsize size{.ws_row = 24, .ws_col = 132, .ws_xpixel = 0, .ws_ypixel = 0};
  ::ioctl(master, TIOCSWINSZ, &size);
  EXPECT_EQ(terminalColumns(terminal), 132);
  ::close(terminal);
  ::close(master);
}

}  // namespace
}  // namespace qs

#include "core/platform/child_process.h"

#include "core/platform/process_runner.h"
#include "core/platform/spawn.h"
#include "core/platform/system_error.h"

#include <asio/posix/stream_descriptor.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace qs {
namespace {

// Only the parent's read end is non-blocking: the child writes to a blocking descriptor, as
// any program expects of its standard output.
QSPipe makeOutputPipe() {
  QSPipe pipe = makePipe();
  int flags = ::fcntl(pipe.read.get(), F_GETFL);
  if (flags < 0 || ::fcntl(pipe.read.get(), F_SETFL, flags | O_NONBLOCK) != 0) throwSystemError("fcntl O_NONBLOCK");
  return pipe;
}

void requireFolder(const std::filesystem::path& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) throwSystemError("chdir " + folder.string());
  if (!S_ISDIR(st.st_mode)) throwSystemError("chdir " + folder.string(), ENOTDIR);
}

std::int32_t decodeStatus(const siginfo_t& info) {
  if (info.si_code == CLD_EXITED) return info.si_status;
  if (info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED) return 128 + info.si_status;
  return -1;
}

int pidfdOpen(std::int32_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

bool pidfdSendSignal(int pidfd, int sig) {
  return ::syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0) == 0;
}

}  // namespace

std::shared_ptr<QSChildProcess> QSChildProcess::spawn(const QSChildLaunch& launch) {
  requireFolder(launch.workingDirectory);
  QSPipe out, err;
  if (launch.outputFile) {
    out.write = UniqueFd(::open(launch.outputFile->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    if (!out.write) throwSystemError("open " + launch.outputFile->string());
    err.write = UniqueFd(::fcntl(out.write.get(), F_DUPFD_CLOEXEC, 0));
    if (!err.write) throwSystemError("fcntl F_DUPFD_CLOEXEC");
  } else if (launch.combineOutput) {
    out = makeOutputPipe();
    err.write = UniqueFd(::fcntl(out.write.get(), F_DUPFD_CLOEXEC, 0));
    if (!err.write) throwSystemError("fcntl F_DUPFD_CLOEXEC");
  } else {
    out = makeOutputPipe();
    err = makeOutputPipe();
  }
  // A server has no use for the daemon's input.
  UniqueFd input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (!input) throwSystemError("open /dev/null");
  std::vector<std::string> argv{launch.executable.string()};
  argv.insert(argv.end(), launch.arguments.begin(), launch.arguments.end());
  QSPreparedSpawn spawn({.program = launch.executable,
                         .arguments = std::move(argv),
                         .environment = mergedEnvironment(launch.environment),
                         .input = input.get(),
                         .output = out.write.get(),
                         .error = err.write.get(),
                         .workingDirectory = launch.workingDirectory,
                         .newProcessGroup = true});
  pid_t pid = spawn.startOrThrow();

  UniqueFd pidfd(pidfdOpen(pid));
  if (!pidfd) {
    // Without a pidfd the child could not be watched: do not leave it running untracked.
    int error = errno;
    ::kill(-pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    throwSystemError("pidfd_open", error);
  }
  return std::shared_ptr<QSChildProcess>(
      new QSChildProcess(pid, std::move(pidfd), std::move(out.read), std::move(err.read)));
}

QSChildProcess::QSChildProcess(std::int32_t pid, UniqueFd pidfd, UniqueFd out, UniqueFd err)
    : pid_(pid), pidfd_(std::move(pidfd)), stdout_(std::move(out)), stderr_(std::move(err)) {}

QSChildProcess::~QSChildProcess() {
  // Collects an already ended child so it does not linger as a zombie; never waits.
  if (!status_) reap();
}

bool QSChildProcess::isRunning() const {
  if (status_) return false;
  siginfo_t info{};
  // WNOWAIT peeks: the status stays for reap(), which hands it to whoever awaits the exit.
  while (::waitid(P_PIDFD, static_cast<id_t>(pidfd_.get()), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    if (errno != EINTR) return false;  // ECHILD: reaped elsewhere, so certainly not running
  }
  return info.si_pid == 0;
}

bool QSChildProcess::signal(int sig) const { return !status_ && pidfdSendSignal(pidfd_.get(), sig); }

bool QSChildProcess::signalGroup(int sig) const {
  // The group keeps the child's id even after the child was reaped, as long as a member lives,
  // so the id cannot name somebody else's group while there is anything left to signal.
  return ::kill(-pid_, sig) == 0;
}

std::optional<std::int32_t> QSChildProcess::reap() {
  if (status_) return status_;
  siginfo_t info{};
  while (::waitid(P_PIDFD, static_cast<id_t>(pidfd_.get()), &info, WEXITED | WNOHANG) != 0) {
    if (errno == EINTR) continue;
    status_ = -1;  // ECHILD: somebody else collected it and its status with it
    return status_;
  }
  if (info.si_pid == 0) return std::nullopt;
  status_ = decodeStatus(info);
  return status_;
}

asio::awaitable<std::int32_t> QSChildProcess::waitForExit() {
  if (auto status = reap()) co_return *status;
  // The watcher owns a duplicate so that closing it never closes the pidfd signals go through.
  UniqueFd copy(::fcntl(pidfd_.get(), F_DUPFD_CLOEXEC, 0));
  if (!copy) throwSystemError("fcntl F_DUPFD_CLOEXEC pidfd");
  asio::posix::stream_descriptor watch(co_await asio::this_coro::executor);
  std::error_code error;
  watch.assign(copy.get(), error);
  if (error) throwSystemError("watch pidfd", error);
  copy.release();
  for (;;) {
    co_await watch.async_wait(asio::posix::stream_descriptor::wait_read, asio::use_awaitable);
    if (auto status = reap()) co_return *status;
  }
}

UniqueFd openProcessHandle(std::int32_t pid) { return UniqueFd(pidfdOpen(pid)); }

bool signalProcessHandle(const UniqueFd& handle, int sig) { return handle && pidfdSendSignal(handle.get(), sig); }

bool signalProcessGroup(std::int32_t groupID, int sig) {
  if (groupID < 2 || groupID == ::getpgrp()) return false;
  return ::kill(-groupID, sig) == 0;
}

}  // namespace qs

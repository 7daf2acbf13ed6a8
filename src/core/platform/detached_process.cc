#include "core/platform/detached_process.h"

#include "core/platform/process_runner.h"
#include "core/platform/spawn.h"
#include "core/platform/system_error.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace qs {
namespace {

UniqueFd openOutput(const std::optional<std::filesystem::path>& file) {
  if (file) {
    UniqueFd fd(::open(file->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (fd) return fd;
  }
  UniqueFd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (!null) throwSystemError("open /dev/null");
  return null;
}

// Reads exactly sizeof(T) bytes; false on a short read (the writer died or never wrote).
template <class T>
bool readValue(const UniqueFd& fd, T& value) {
  for (;;) {
    ssize_t n = ::read(fd.get(), &value, sizeof value);
    if (n < 0 && errno == EINTR) continue;
    return n == static_cast<ssize_t>(sizeof value);
  }
}

void writeValue(int fd, const void* data, size_t size) {
  while (::write(fd, data, size) < 0 && errno == EINTR) {
  }
}

// The intermediate, a forked copy of a possibly multi-threaded process: it starts the program
// (in a session of its own, through the prepared spawn, which allocates nothing), reports the
// pid or the error, and stays until the launcher holds a pidfd on the program, so the pid
// cannot be reaped and reused before it is watched. Then it exits and init adopts the program.
[[noreturn]] void runIntermediate(const QSPreparedSpawn& spawn, int pidWrite, int errorWrite, int goRead,
                                  int goWrite) {
  ::close(goWrite);  // so that the launcher closing its end is seen here
  pid_t pid = -1;
  if (int error = spawn.start(pid); error != 0) {
    writeValue(errorWrite, &error, sizeof error);
    ::_exit(1);
  }
  writeValue(pidWrite, &pid, sizeof pid);
  char go;
  while (::read(goRead, &go, 1) < 0 && errno == EINTR) {
  }
  ::_exit(0);
}

void reap(pid_t pid) {
  int status = 0;
  // The intermediate exits right after its fork, so this wait is brief. ECHILD means someone
  // ignores SIGCHLD and the kernel reaped it already.
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return;
  }
}

}  // namespace

bool QSDetachedProcess::hasExited() const {
  if (!pidfd_) return true;
  pollfd fd{pidfd_.get(), POLLIN, 0};
  for (;;) {
    int n = ::poll(&fd, 1, 0);
    if (n >= 0) return n > 0;
    if (errno != EINTR) return true;
  }
}

QSDetachedProcess spawnDetached(const QSDetachedProcessOptions& options) {
  // The program starts in "/", where a relative path would name something else.
  std::filesystem::path program = std::filesystem::absolute(options.executable);
  UniqueFd input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (!input) throwSystemError("open /dev/null");
  UniqueFd output = openOutput(options.outputFile);
  std::vector<std::string> argv{program.string()};
  argv.insert(argv.end(), options.arguments.begin(), options.arguments.end());
  QSPreparedSpawn spawn({.program = program,
                         .arguments = std::move(argv),
                         .environment = mergedEnvironment(options.environment),
                         .input = input.get(),
                         .output = output.get(),
                         .error = output.get(),
                         .workingDirectory = "/",
                         .newSession = true});
  QSPipe pidPipe = makePipe(), errorPipe = makePipe(), goPipe = makePipe();

  std::string operation = "spawn " + options.executable.string();
  pid_t intermediate = ::fork();
  if (intermediate < 0) throwSystemError(operation);
  if (intermediate == 0)
    runIntermediate(spawn, pidPipe.write.get(), errorPipe.write.get(), goPipe.read.get(), goPipe.write.get());
  pidPipe.write.reset();
  errorPipe.write.reset();
  goPipe.read.reset();

  pid_t pid = -1;
  int error = 0;
  if (!readValue(pidPipe.read, pid)) {
    if (!readValue(errorPipe.read, error)) error = ECHILD;
    goPipe.write.reset();
    reap(intermediate);
    throwSystemError(operation, error);
  }
  // The raw call: glibc 2.36 declares pidfd_open without C linkage for C++.
  UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  int pidfdError = pidfd ? 0 : errno;
  goPipe.write.reset();  // the intermediate may go now
  reap(intermediate);
  if (!pidfd) throwSystemError("pidfd_open", pidfdError);
  return QSDetachedProcess(pid, std::move(pidfd));
}

}  // namespace qs

#include "core/platform/detached_process.h"

#include "core/platform/process_runner.h"
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

struct Pipe {
  UniqueFd read, write;
};

Pipe makePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throwSystemError("pipe2");
  return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

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

// Everything below runs between fork and exec in a copy of a possibly multi-threaded process:
// only async-signal-safe calls, no allocation.
struct ChildPlan {
  const char* path;
  char* const* argv;
  char* const* envp;
  int input, output;
  int pidWrite, errorWrite, goRead, goWrite;
};

void moveTo(int fd, int target) {
  if (fd == target) {
    ::fcntl(fd, F_SETFD, 0);  // dup2 onto itself would leave close-on-exec set
  } else {
    ::dup2(fd, target);
  }
}

[[noreturn]] void runGrandchild(const ChildPlan& plan) {
  ::close(plan.goWrite);
  // Wait until the launcher holds a pidfd for us, so our pid cannot be reused before it is watched.
  char go;
  while (::read(plan.goRead, &go, 1) < 0 && errno == EINTR) {
  }
  moveTo(plan.input, STDIN_FILENO);
  moveTo(plan.output, STDOUT_FILENO);
  moveTo(plan.output, STDERR_FILENO);
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sig == SIGKILL || sig == SIGSTOP) continue;
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    ::sigaction(sig, &defaults, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // Descriptors someone forgot to mark close-on-exec must not leak into a long-lived daemon.
  ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
  if (::chdir("/") != 0) {
    // Keep the inherited folder: not a reason to fail the launch.
  }
  ::execve(plan.path, plan.argv, plan.envp);
  int error = errno;
  writeValue(plan.errorWrite, &error, sizeof error);
  ::_exit(127);
}

[[noreturn]] void runIntermediate(const ChildPlan& plan) {
  int error = 0;
  if (::setsid() < 0) {
    error = errno;
  } else if (pid_t grandchild = ::fork(); grandchild == 0) {
    runGrandchild(plan);
  } else if (grandchild < 0) {
    error = errno;
  } else {
    writeValue(plan.pidWrite, &grandchild, sizeof grandchild);
    ::_exit(0);
  }
  writeValue(plan.errorWrite, &error, sizeof error);
  ::_exit(1);
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
  std::string operation = "spawn " + options.executable.string();
  // The child changes to "/" before the exec, where a relative path would name something else.
  std::vector<std::string> argv{std::filesystem::absolute(options.executable).string()};
  argv.insert(argv.end(), options.arguments.begin(), options.arguments.end());
  std::vector<std::string> envp = mergedEnvironment(options.environment);
  auto argvPointers = pointers(argv);
  auto envPointers = pointers(envp);

  UniqueFd input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (!input) throwSystemError("open /dev/null");
  UniqueFd output = openOutput(options.outputFile);
  Pipe pidPipe = makePipe(), errorPipe = makePipe(), goPipe = makePipe();
  ChildPlan plan{argv[0].c_str(), argvPointers.data(), envPointers.data(), input.get(), output.get(),
                 pidPipe.write.get(), errorPipe.write.get(), goPipe.read.get(), goPipe.write.get()};

  pid_t intermediate = ::fork();
  if (intermediate < 0) throwSystemError(operation);
  if (intermediate == 0) runIntermediate(plan);
  pidPipe.write.reset();
  errorPipe.write.reset();
  goPipe.read.reset();
  reap(intermediate);

  pid_t pid = -1;
  int error = 0;
  if (!readValue(pidPipe.read, pid)) {
    if (!readValue(errorPipe.read, error)) error = ECHILD;
    throwSystemError(operation, error);
  }
  // The raw call: glibc 2.36 declares pidfd_open without C linkage for C++.
  UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  int pidfdError = pidfd ? 0 : errno;
  char go = 1;
  writeValue(goPipe.write.get(), &go, 1);
  goPipe.write.reset();
  // EOF here means the exec succeeded (the pipe is close-on-exec); an errno means it did not.
  if (readValue(errorPipe.read, error)) throwSystemError(operation, error);
  if (!pidfd) throwSystemError("pidfd_open", pidfdError);
  return QSDetachedProcess(pid, std::move(pidfd));
}

}  // namespace qs

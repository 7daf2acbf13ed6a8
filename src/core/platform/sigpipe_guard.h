// Writing to a pipe or socket whose reader may be gone, without a SIGPIPE.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cerrno>
#include <ctime>

namespace qs {

// Runs `write` (a write(2) or splice(2) that returns what it moved, or -1 with errno) with SIGPIPE
// blocked for this thread alone and, when the call raised it, taken off again; errno is the
// call's. Other threads and the process's own SIGPIPE handling are never touched.
template <class Write>
ssize_t withoutSigpipe(Write write) {
  sigset_t pipeSignal, previous, pending;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  sigpending(&pending);
  bool alreadyPending = sigismember(&pending, SIGPIPE);
  ssize_t moved = write();
  int error = errno;
  if (moved < 0 && error == EPIPE && !alreadyPending) {
    timespec now{};
    while (::sigtimedwait(&pipeSignal, nullptr, &now) < 0 && errno == EINTR) {
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return moved;
}

}  // namespace qs

#include "core/platform/privileges.h"

#include <unistd.h>

namespace qs {

bool isRunningAsRoot() { return ::geteuid() == 0; }

QSInterruptShield::QSInterruptShield() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGINT, &ignore, &previousInterrupt_);
  ::sigaction(SIGQUIT, &ignore, &previousQuit_);
}

QSInterruptShield::~QSInterruptShield() {
  ::sigaction(SIGINT, &previousInterrupt_, nullptr);
  ::sigaction(SIGQUIT, &previousQuit_, nullptr);
}

}  // namespace qs

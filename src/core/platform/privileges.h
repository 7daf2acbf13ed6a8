// Who this process runs as, and keeping the terminal's interrupt key for a child's prompt.
#pragma once

#include <csignal>

namespace qs {

// True when the effective user is root (uid 0).
bool isRunningAsRoot();

// While it lives, SIGINT and SIGQUIT are ignored by this process, so that the interrupt key
// pressed at a child's password prompt ends the child (children start with default signal
// dispositions) and this process stays to say what happened. The previous dispositions are
// restored afterwards.
class QSInterruptShield {
public:
  QSInterruptShield();
  ~QSInterruptShield();
  QSInterruptShield(const QSInterruptShield&) = delete;
  QSInterruptShield& operator=(const QSInterruptShield&) = delete;

private:
  struct sigaction previousInterrupt_ {};
  struct sigaction previousQuit_ {};
};

}  // namespace qs

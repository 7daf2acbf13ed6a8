// Local ports: which can be bound, the next free one, and who listens on one.
#pragma once

#include "core/models/port_availability.h"

#include <set>
#include <vector>

namespace qs {

// Stateless. Every call works synchronously: the bind tests are instant, but the listener scan
// reads /proc (a few milliseconds), which callers on the service loop accept as a short stall.
class QSPortScanner {
public:
  using ListeningProcess = qs::ListeningProcess;

  // Whether a TCP listener can bind 127.0.0.1:`port` now: available (also when the port's only
  // sockets are closed connections waiting out TIME_WAIT); inUse (something listens on it);
  // permissionDenied (EACCES or EPERM); error(EINVAL) for a port outside 1–65535; error(errno)
  // for any other failure. Never throws.
  QSPortAvailability availability(int port) const;

  // The first TCP port from `preferred` upwards (at most `limit` candidates) that is not in
  // `excluding`, lies in 1–65535 and can be bound on 127.0.0.1; `preferred` itself when none
  // can (or `limit` is not positive). A `preferred` of 0 is returned as it is: binding port 0
  // lets the system choose a free port, where a search from 1 would take a privileged port
  // that concurrent searches from 0 all take too.
  int availablePort(int preferred, const std::set<int>& excluding, int limit) const;

  // The same search with UDP sockets and no exclusions.
  int availableUDPPort(int preferred, int limit) const;

  // Whether a UDP socket can bind 127.0.0.1:`port` now (false outside 1–65535).
  bool isUDPPortAvailable(int port) const;

  // The processes with a TCP socket listening on `port` (IPv4 or IPv6), ascending by pid,
  // never this process. Processes that cannot be inspected (gone, or another user's when not
  // running as root) are left out; an empty list when nothing listens or /proc is unreadable.
  std::vector<ListeningProcess> processesListening(int port) const;
};

}  // namespace qs

// Another web server holding ports 80/443, which .test routing would take over: who it is, and
// the warning shown before routing is enabled.
#pragma once

#include "core/models/port_availability.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qs {

struct QSWebPortConflict {
  struct Listener {
    ListeningProcess process;
    std::vector<int> ports;  // 80, 443 or both
  };
  // The processes listening on a TCP port (the port scanner's answer).
  using Listing = std::function<std::vector<ListeningProcess>(int port)>;

  std::vector<Listener> listeners;  // ascending by pid
  bool isLikelyHerd = false;

  // The listeners on ports 80 and 443 merged by process; nothing when neither port has one.
  // `isLikelyHerd` needs `herdInstalled` and a listener whose name contains nginx or herd.
  static std::optional<QSWebPortConflict> detect(bool herdInstalled, const Listing& listing = {});
  // That other tool has no Linux build: always false here.
  static bool isHerdInstalled() { return false; }

  // "nginx (PID 10, ports 80 and 443) and caddy (PID 12, port 80)"
  std::string summary() const;
  std::string title() const;
  std::string warningMessage() const;
  std::string shortWarning() const;
};

}  // namespace qs

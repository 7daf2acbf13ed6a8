#include "core/routing/web_port_conflict.h"

#include "core/platform/text.h"
#include "core/routing/domain_names.h"
#include "core/runtime/port_scanner.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <map>

namespace qs {

std::optional<QSWebPortConflict> QSWebPortConflict::detect(bool herdInstalled, const Listing& listing) {
  Listing list = listing ? listing : [](int port) { return QSPortScanner().processesListening(port); };
  std::map<std::int32_t, Listener> byPid;
  for (int port : {80, 443}) {
    for (const auto& process : list(port)) {
      auto& entry = byPid[process.pid];
      entry.process = process;
      entry.ports.push_back(port);
    }
  }
  if (byPid.empty()) return std::nullopt;
  QSWebPortConflict conflict;
  for (auto& [pid, listener] : byPid) conflict.listeners.push_back(listener);
  conflict.isLikelyHerd =
      herdInstalled && std::any_of(conflict.listeners.begin(), conflict.listeners.end(), [](const Listener& l) {
        std::string name = asciiLowercased(l.process.name);
        return name.find("nginx") != std::string::npos || name.find("herd") != std::string::npos;
      });
  return conflict;
}

std::string QSWebPortConflict::summary() const {
  std::vector<std::string> parts;
  for (const auto& l : listeners)
    parts.push_back(fmt::format("{} (PID {}, {} {})", l.process.name, l.process.pid,
                                l.ports.size() > 1 ? "ports" : "port", fmt::join(l.ports, " and ")));
  return fmt::format("{}", fmt::join(parts, " and "));
}

std::string QSWebPortConflict::title() const {
  return isLikelyHerd ? "Laravel Herd is serving ports 80/443" : "Another server is using ports 80/443";
}

std::string QSWebPortConflict::warningMessage() const {
  return (isLikelyHerd ? "Laravel Herd (" + summary() + ")" : summary()) +
         " is currently serving these ports. Enabling .test routing redirects all local traffic on ports 80/443 to "
         "Quayside, so its sites will stop loading until you disable .test routing again.";
}

std::string QSWebPortConflict::shortWarning() const {
  return (isLikelyHerd ? std::string("Herd") : summary()) + " is using ports 80/443 — taking them over breaks its sites.";
}

}  // namespace qs

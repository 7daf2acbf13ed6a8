// How `qs` shows .test routing's system-wide pieces, certificate trust and the other servers on
// ports 80/443.
#pragma once

#include "core/protocol/status.h"
#include "core/routing/web_port_conflict.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace qs {

// The lines of `qs routing status` (and the routing part of `qs status`): whether routing is on,
// the resolver entry and for which DNS port, the redirect, the watchdog, a resolver pointing at
// another port than the DNS server's, trust in the certificate authority, and `conflict`'s short
// warning when another server holds 80/443.
std::string formatTestRouting(const QSNetworkStatus& network, const std::optional<QSWebPortConflict>& conflict);

// The JSON of `qs routing status --json`: the network status with "webPortConflict" added
// (listeners with their ports, title and both warnings; null when there is none).
nlohmann::json testRoutingJson(const QSNetworkStatus& network, const std::optional<QSWebPortConflict>& conflict);

// True when nothing of .test routing is installed according to `network`: no resolver entry,
// no redirect.
bool nothingInstalled(const QSNetworkStatus& network);

}  // namespace qs

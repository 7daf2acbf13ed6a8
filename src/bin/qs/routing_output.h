// How `qs` shows .test names, the proxy's request log and the network services.
#pragma once

#include "core/models/log_entry.h"
#include "core/models/project.h"
#include "core/protocol/status.h"

#include <optional>
#include <string>
#include <vector>

namespace qs {

// The project's .test URLs through the proxy: http://HOST:PORT/ and, with HTTPS, https://HOST:PORT/
// (the ports 80/443 left out once .test routing is on). None without a domain.
std::vector<std::string> domainURLs(const QSProject& project, const QSNetworkStatus& network);
// The URL `qs open` opens: https .test, else http .test (only while .test names resolve, that
// is while .test routing is on), else the server's own http://127.0.0.1:PORT/.
std::string bestURL(const QSProject& project, const QSNetworkStatus& network);
// The table of `qs domains`, or a hint how to add a domain when no project has one.
std::string formatDomains(const std::vector<QSProject>& projects, const QSNetworkStatus& network,
                          std::optional<std::size_t> width = std::nullopt);

// The header of `qs requests` and one line per exchange, the path last:
// "2026-12-07 10:15:02 UTC  GET      200  1.25 ms  13 B  /hello".
std::string requestLogHeader();
std::string formatRequestEntry(const QSLogEntry& entry);

// The ports of the proxy and anything that keeps a listener from running (the holders of its
// port), as lines for `qs status`.
std::string formatNetworkDetails(const QSNetworkStatus& network);
// `qs health`.
std::string formatHealth(const QSHealthReport& report);

}  // namespace qs

#include "bin/qs/privileged_output.h"

#include "bin/qs/json_output.h"
#include "bin/qs/output.h"

#include <fmt/format.h>

namespace qs {
namespace {

int proxyPort(const QSNetworkStatus& n) { return n.proxyPort.value_or(7080); }
int proxyTLSPort(const QSNetworkStatus& n) { return n.proxyTLSPort.value_or(7443); }

std::string headline(const QSNetworkStatus& n) {
  if (n.testRoutingEnabled) return ".test routing: on\n";
  if (n.testRoutingPortConflict) return ".test routing: off (the resolver entry names another DNS port)\n";
  if (nothingInstalled(n))
    return ".test routing: off; 'qs routing enable' installs it (it asks for the administrator password once)\n";
  return ".test routing: off (partly installed; 'qs routing enable' completes it)\n";
}

std::string resolverLine(const QSNetworkStatus& n) {
  if (!n.testRoutingExpectedPort) return "  Resolver: not installed\n";
  int port = *n.testRoutingExpectedPort;
  if (n.dnsRunning && port != n.dnsPort)
    return fmt::format("  Resolver: installed for DNS port {}, but the DNS server listens on {}; run 'qs routing enable' "
                       "again\n",
                       port, n.dnsPort);
  if (!n.testRoutingResolver)
    return fmt::format("  Resolver: installed for DNS port {}; .test names resolve once systemd-resolved runs\n", port);
  return fmt::format("  Resolver: installed for DNS port {}, read by {}\n", port, *n.testRoutingResolver);
}

std::string redirectLines(const QSNetworkStatus& n) {
  if (!n.testRoutingRedirectInstalled.value_or(false)) return "  Redirect of ports 80/443: not installed\n";
  std::string out = fmt::format("  Redirect of ports 80/443: installed, to {}/{}\n", proxyPort(n), proxyTLSPort(n));
  if (n.testRoutingWatchdogActive.value_or(false)) return out + "  Watchdog: active (quayside-redirect.service)\n";
  return out + "  Watchdog: not running, so the redirect is not kept loaded (quayside-redirect.service starts it "
               "where systemd runs)\n";
}

output::WebPortConflict conflictOutput(const QSWebPortConflict& conflict) {
  output::WebPortConflict out{.isLikelyHerd = conflict.isLikelyHerd,
                              .title = conflict.title(),
                              .warningMessage = conflict.warningMessage(),
                              .shortWarning = conflict.shortWarning()};
  for (const auto& l : conflict.listeners) out.listeners.push_back({l.process, l.ports});
  return out;
}

}  // namespace

bool nothingInstalled(const QSNetworkStatus& n) {
  return !n.testRoutingExpectedPort && !n.testRoutingRedirectInstalled.value_or(false);
}

std::string formatTestRouting(const QSNetworkStatus& n, const std::optional<QSWebPortConflict>& conflict) {
  std::string out = headline(n) + resolverLine(n) + redirectLines(n);
  if (n.caTrusted) out += *n.caTrusted ? "  Certificate authority: trusted\n"
                                       : "  Certificate authority: not trusted yet ('qs ca trust')\n";
  if (conflict) out += "  Ports 80/443: " + conflict->shortWarning() + "\n";
  return out;
}

nlohmann::json testRoutingJson(const QSNetworkStatus& network, const std::optional<QSWebPortConflict>& conflict) {
  output::TestRouting out{.network = network};
  if (conflict) out.webPortConflict.value = conflictOutput(*conflict);
  return toJson(out, outputCoder());
}

}  // namespace qs

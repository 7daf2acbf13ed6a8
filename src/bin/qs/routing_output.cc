#include "bin/qs/routing_output.h"

#include "bin/qs/output.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

namespace qs {
namespace {

std::string hostURL(const std::string& scheme, const std::string& host, std::optional<int> port, int routedPort,
                    bool routed) {
  if (routed) return fmt::format("{}://{}/", scheme, host);
  return fmt::format("{}://{}:{}/", scheme, host, port.value_or(routedPort));
}

std::string durationText(double seconds) {
  if (seconds < 1) return fmt::format("{:.2f} ms", seconds * 1000);
  return fmt::format("{:.2f} s", seconds);
}

std::string sizeText(const std::optional<std::int64_t>& size) {
  if (!size) return "-";
  if (*size < 10 * 1024) return fmt::format("{} B", *size);
  if (*size < 10 * 1024 * 1024) return fmt::format("{} KiB", *size / 1024);
  return fmt::format("{} MiB", *size / (1024 * 1024));
}

std::string availabilityText(const QSPortAvailability& availability) {
  return availability.visit(QSOverloaded{
      [](const portAvailability::Available&) { return std::string("free"); },
      [](const portAvailability::InUse&) { return std::string("in use by another program"); },
      [](const portAvailability::PermissionDenied&) { return std::string("not allowed (permission denied)"); },
      [](const portAvailability::Error& e) { return fmt::format("unusable (error {})", e.value); },
  });
}

}  // namespace

std::vector<std::string> domainURLs(const QSProject& project, const QSNetworkStatus& network) {
  if (!project.domain) return {};
  const auto& host = project.domain->hostname;
  std::vector<std::string> urls{hostURL("http", host, network.proxyPort, 7080, network.testRoutingEnabled)};
  if (project.domain->sslEnabled)
    urls.push_back(hostURL("https", host, network.proxyTLSPort, 7443, network.testRoutingEnabled));
  return urls;
}

std::string bestURL(const QSProject& project, const QSNetworkStatus& network) {
  if (project.domain && network.testRoutingEnabled) {
    auto urls = domainURLs(project, network);
    if (project.domain->sslEnabled && network.proxyTLSRunning) return urls[1];
    if (network.proxyRunning) return urls[0];
  }
  return fmt::format("http://127.0.0.1:{}/", project.port);
}

std::string formatDomains(const std::vector<QSProject>& projects, const QSNetworkStatus& network,
                          std::optional<std::size_t> width) {
  QSTextTable table({"PROJECT", "DOMAIN", "HTTPS", "URLS"});
  for (const auto& p : projects) {
    if (!p.domain) continue;
    table.addRow({p.name, p.domain->hostname, p.domain->sslEnabled ? "yes" : "no",
                  fmt::format("{}", fmt::join(domainURLs(p, network), " "))});
  }
  if (table.empty()) return "No project has a .test domain yet. Give one with 'qs domain PROJECT NAME.test --https'.\n";
  return table.render("", width);
}

std::string requestLogHeader() {
  return fmt::format("{:<23}  {:<7}  {:>6}  {:>8}  {:>7}  {}\n", "TIME", "METHOD", "STATUS", "DURATION", "SIZE", "PATH");
}

std::string formatRequestEntry(const QSLogEntry& entry) {
  return fmt::format("{:<23}  {:<7}  {:>6}  {:>8}  {:>7}  {}\n", formatDate(entry.timestamp), rawValue(entry.method),
                     entry.statusCode, durationText(entry.duration), sizeText(entry.responseSize), entry.path);
}

std::string formatNetworkDetails(const QSNetworkStatus& n) {
  std::string out;
  if (n.proxyPort) {
    out += fmt::format("Proxy: HTTP on 127.0.0.1:{} ({}), HTTPS on 127.0.0.1:{} ({})\n", *n.proxyPort,
                       n.proxyRunning ? "running" : "stopped", n.proxyTLSPort.value_or(0),
                       n.proxyTLSRunning ? "running" : "stopped, starts with the first HTTPS domain");
  }
  if (!n.proxyRunning && n.proxyPort)
    out += fmt::format("Port {}: {}\n", *n.proxyPort, availabilityText(n.httpPortStatus));
  if (!n.proxyTLSRunning && n.proxyTLSPort && !n.httpsPortStatus.is<portAvailability::Available>())
    out += fmt::format("Port {}: {}\n", *n.proxyTLSPort, availabilityText(n.httpsPortStatus));
  for (const auto& p : n.conflictingProcesses)
    out += fmt::format("  held by {} (pid {}{})\n", p.name, p.pid, p.isRoot ? ", root" : "");
  return out;
}

std::string formatHealth(const QSHealthReport& report) {
  std::string out = fmt::format("DNS server: {}\nProxy: {}\n.test routing: {}\nResolver entry: {}\n",
                                report.dnsRunning ? "running" : "stopped", report.proxyRunning ? "running" : "stopped",
                                report.testRoutingEnabled ? "on" : "off",
                                report.resolverInstalled ? "installed" : "not installed");
  for (const auto& conflict : report.portConflicts)
    out += fmt::format("Port {} is held by {}\n", conflict.port, conflict.heldBy);
  for (const auto& warning : report.warnings) out += "Warning: " + warning + "\n";
  if (report.stateLoadWarning) out += "Warning: " + *report.stateLoadWarning + "\n";
  return out;
}

}  // namespace qs

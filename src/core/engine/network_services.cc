// The engine's .test services: the DNS responder, the proxy with its plain and TLS listeners,
// the certificate authority that keeps the proxy's certificate covering every HTTPS domain, the
// projects' domains, and the network status built from all of them.
#include "core/engine/daemon_service.h"

#include "core/engine/off_loop.h"
#include "core/platform/text.h"
#include "core/routing/certificate_service.h"
#include "core/routing/dns_server.h"
#include "core/routing/domain_service.h"
#include "core/runtime/port_scanner.h"
#include "core/routing/proxy_server.h"
#include "core/runtime/log_parser.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/error.hpp>
#include <asio/system_error.hpp>
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <set>

namespace qs {
namespace {

QSDaemonResult ok() { return res::Ok{}; }

// A port of 0 is chosen by the system when bound, so it is always available.
QSPortAvailability availabilityOf(const QSPortScanner& scanner, int port) {
  return port == 0 ? QSPortAvailability::available() : scanner.availability(port);
}

// Why `qs proxy start` failed on a taken port, naming the programs that hold it.
std::string busyProxyPortText(int port, const std::vector<ListeningProcess>& holders) {
  if (holders.empty())
    return fmt::format("Port {} is in use by a program this account can't see (another user's?), so the proxy "
                       "can't listen there. Stop that program, then run 'qs proxy start' again.",
                       port);
  std::vector<std::string> names;
  for (const auto& holder : holders)
    names.push_back(fmt::format("{} (PID {}{})", holder.name, holder.pid, holder.isRoot ? ", runs as root" : ""));
  return fmt::format("Port {} is in use by {}, so the proxy can't listen there. Stop it with 'qs ports stop {}', then "
                     "run 'qs proxy start' again.",
                     port, fmt::join(names, " and "), holders.front().pid);
}

}  // namespace

void QSDaemonService::makeNetworkServices(const QSNetworkServiceOptions& options) {
  dns_ = std::make_shared<QSDNSServer>(state_.executor, options.dnsPort);
  proxy_ = std::make_shared<QSProxyServer>(state_.executor, options.proxyPort, options.proxyTLSPort);
  certificates_ = std::make_shared<QSCertificateService>(
      options.sslDirectory ? *options.sslDirectory : QSCertificateService::defaultDirectory());
  domains_ = std::make_unique<QSDomainService>(proxy_);
  makePrivilegedRouting(options);
}

// At bootstrap. A DNS port that cannot be bound, or a proxy port someone else holds, leaves that
// service stopped; the status then says so and who holds the port.
asio::awaitable<void> QSDaemonService::startNetworkServices() {
  // An installed resolver entry keeps pointing at the right port (unless the system is to
  // choose one, as tests ask).
  std::optional<int> preferred = network_.dnsPort == 0 ? std::nullopt : installedResolverPort();
  try {
    co_await dns_->start(preferred);
  } catch (const std::exception& e) {
    state_.log(std::string(QSEngineState::logPrefix) + "couldn't start the DNS server: " + e.what());
  }
  std::weak_ptr<QSDaemonService> weak = weak_from_this();
  proxy_->setRequestHandler([weak](QSLogEntry entry) {
    if (auto self = weak.lock()) self->recordRequest(std::move(entry));
  });
  if (!proxy_->isRunning() && availabilityOf(QSPortScanner(), network_.proxyPort).is<portAvailability::Available>()) {
    try {
      co_await proxy_->start();
    } catch (const std::exception& e) {
      state_.log(std::string(QSEngineState::logPrefix) + "couldn't start the proxy: " + e.what());
    }
  }
  reconcileRoutes();
  co_await refreshTLS();
  co_await emitNetworkChanged();
}

void QSDaemonService::stopNetworkServices() {
  dns_->stop();
  proxy_->stop();
}

void QSDaemonService::reconcileRoutes() {
  std::set<std::string> wanted;
  for (auto& project : state_.config.projects) {
    if (!project.domain) continue;
    // Every stored domain is routed, even one that reached the state unvalidated.
    project.domain->targetPort = project.port;
    proxy_->registerRoute(project.domain->hostname, project.port, project.id);
    wanted.insert(asciiLowercased(project.domain->hostname));
  }
  for (const auto& [host, port] : proxy_->registeredRoutes())
    if (!wanted.contains(host)) proxy_->unregisterRoute(host);
}

// The proxy's certificate is issued again for every HTTPS domain. Failures leave the proxy's
// TLS state as it was; they are logged, since nobody else would learn of them. Names that are
// not valid .test names (stored by an old client) are left out rather than failing the rest.
asio::awaitable<void> QSDaemonService::refreshTLS() {
  std::vector<std::string> hosts;
  for (const auto& project : state_.config.projects)
    if (project.domain && project.domain->sslEnabled && isValidHostname(project.domain->hostname))
      hosts.push_back(project.domain->hostname);
  if (hosts.empty()) co_return;
  auto certificates = certificates_;
  auto issue = [certificates, hosts] { return certificates->serverCertificatePKCS12(hosts); };
  try {
    QSBytes bundle = co_await runOffLoop(state_.workers, state_.executor, issue);
    std::string password = QSCertificateService::pkcs12Password;
    co_await proxy_->startTLS(bundle, password);
  } catch (const std::exception& e) {
    state_.log(std::string(QSEngineState::logPrefix) + "couldn't refresh the HTTPS certificate: " + e.what());
  }
}

asio::awaitable<QSNetworkStatus> QSDaemonService::networkStatus() {
  QSNetworkStatus status;
  status.dnsRunning = dns_->isRunning();
  status.dnsPort = dns_->boundPort();
  status.proxyRunning = proxy_->isRunning();
  status.proxyTLSRunning = proxy_->isTLSRunning();
  status.proxyPort = proxy_->port();
  status.proxyTLSPort = proxy_->tlsPort();
  co_await addPrivilegedFacts(status);
  int httpPort = network_.proxyPort, httpsPort = network_.proxyTLSPort;
  bool httpServed = status.proxyRunning, httpsServed = status.proxyTLSRunning;
  auto probe = [httpPort, httpsPort, httpServed, httpsServed] {
    QSPortScanner scanner;
    auto http = httpServed ? QSPortAvailability::available() : availabilityOf(scanner, httpPort);
    auto https = httpsServed ? QSPortAvailability::available() : availabilityOf(scanner, httpsPort);
    std::vector<ListeningProcess> holders;
    for (auto [port, availability] : {std::pair{httpPort, http}, std::pair{httpsPort, https}})
      if (availability.is<portAvailability::InUse>())
        for (auto& p : scanner.processesListening(port)) holders.push_back(p);
    return std::make_tuple(http, https, holders);
  };
  auto [http, https, holders] = co_await runOffLoop(state_.workers, state_.executor, probe);
  status.httpPortStatus = http;
  status.httpsPortStatus = https;
  status.conflictingProcesses = holders;
  co_return status;
}

QSHealthReport QSDaemonService::healthReport() const {
  QSHealthReport report;
  report.dnsRunning = dns_->isRunning();
  report.proxyRunning = proxy_->isRunning();
  addPrivilegedFacts(report);
  report.stateLoadWarning = state_.stateLoadWarning;
  return report;
}

asio::awaitable<void> QSDaemonService::emitNetworkChanged() {
  QSFullStatus status = co_await fullStatus();
  state_.emit(evt::NetworkChanged{status});
}

QSRequestLogMerge& QSDaemonService::requestLog(const QSUUID& projectID) {
  return requestLogs_.try_emplace(projectID, maxRequestLogEntries).first->second;
}

void QSDaemonService::recordRequest(QSLogEntry entry) {
  requestLog(entry.projectID).addProxyEntry(entry, QSTime::now());
  state_.emit(evt::RequestLogged{std::move(entry)});
}

void QSDaemonService::recordConsoleRequest(const evt::LogLine& line) {
  const auto* server = line.source.get<svc::Server>();
  if (!server || !state_.project(server->id)) return;
  auto entry = QSLogParser().parse(line.line, server->id);
  if (entry && requestLog(server->id).addConsoleEntry(*entry, QSTime::now()))
    state_.emit(evt::RequestLogged{std::move(*entry)});
}

asio::awaitable<QSDomain> QSDaemonService::addDomain(const QSUUID& projectID, const std::string& hostname, bool ssl) {
  QSProject& project = state_.requireProject(projectID);
  QSDomain domain;
  domain.hostname = hostname;
  domain.targetPort = project.port;
  domain.sslEnabled = ssl;
  // A name another project already uses would silently take its route over.
  for (const auto& other : state_.config.projects)
    if (other.id != projectID && other.domain && asciiLowercased(other.domain->hostname) == asciiLowercased(hostname))
      throw QSDaemonException(QSDaemonError(daemonError::OperationFailed{
          hostname + " is already the domain of " + other.name + "; remove it there first."}));
  std::optional<QSDomain> previous = project.domain;
  domains_->addDomain(domain, project.port, projectID);
  // Replacing a domain frees its old name.
  if (previous && asciiLowercased(previous->hostname) != asciiLowercased(hostname)) proxy_->unregisterRoute(previous->hostname);
  project.domain = domain;
  state_.save();
  state_.emitProjectsChanged();
  if (ssl || (previous && previous->sslEnabled)) {
    co_await refreshTLS();
    co_await emitNetworkChanged();
  }
  co_return domain;
}

asio::awaitable<void> QSDaemonService::removeDomain(const QSUUID& projectID) {
  QSProject& project = state_.requireProject(projectID);
  std::optional<QSDomain> removed = project.domain;
  if (removed) {
    if (isValidHostname(removed->hostname))
      domains_->removeDomain(*removed);
    else
      proxy_->unregisterRoute(removed->hostname);  // an unvalidated stored name is routed too
  }
  project.domain.reset();
  state_.save();
  state_.emitProjectsChanged();
  if (removed && removed->sslEnabled) {
    co_await refreshTLS();
    co_await emitNetworkChanged();
  }
}

// Requests.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StartDNS&) {
  co_await dns_->start();
  co_await emitNetworkChanged();
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StopDNS&) {
  dns_->stop();
  co_await emitNetworkChanged();
  co_return ok();
}

// A busy port is named with the programs that hold it, so that the user knows what to stop.
// Once the plain listener is up, the TLS one comes back too whenever an HTTPS domain exists (a
// stop closed both).
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StartProxy&) {
  bool portTaken = false;
  try {
    co_await proxy_->start();
  } catch (const asio::system_error& e) {
    if (e.code() != asio::error::address_in_use) throw;
    portTaken = true;
  }
  if (portTaken) {
    int port = proxy_->port();
    auto list = [port] { return QSPortScanner().processesListening(port); };
    auto holders = co_await runOffLoop(state_.workers, state_.executor, list);
    throw QSDaemonException(QSDaemonError(daemonError::OperationFailed{busyProxyPortText(port, holders)}));
  }
  if (!proxy_->isTLSRunning()) co_await refreshTLS();
  co_await emitNetworkChanged();
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StopProxy&) {
  proxy_->stop();
  co_await emitNetworkChanged();
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::AddDomain& c) {
  QSDomain domain = co_await addDomain(c.projectID, c.hostname, c.ssl);
  co_return res::Domain{domain};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::RemoveDomain& c) {
  co_await removeDomain(c.id);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::GetRequestLog& c) {
  state_.requireProject(c.projectID);
  std::vector<QSLogEntry> entries;
  auto found = requestLogs_.find(c.projectID);
  if (found != requestLogs_.end()) {
    const auto& log = found->second.entries();
    std::size_t count = static_cast<std::size_t>(std::max(c.count, 0));
    std::size_t skip = log.size() > count ? log.size() - count : 0;
    entries.assign(log.begin() + static_cast<std::ptrdiff_t>(skip), log.end());
  }
  co_return res::LogEntries{entries};
}

}  // namespace qs

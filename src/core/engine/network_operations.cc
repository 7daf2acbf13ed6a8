// The engine's .test services: the DNS responder, the proxy with its plain and TLS listeners,
// the certificate authority that keeps the proxy's certificate covering every HTTPS domain, the
// projects' domains, and the network status built from all of them.
#include "core/engine/network_operations.h"

#include "core/engine/off_loop.h"
#include "core/engine/privileged_routing.h"
#include "core/platform/text.h"
#include "core/protocol/daemon_error.h"
#include "core/routing/certificate_service.h"
#include "core/routing/dns_server.h"
#include "core/routing/domain_service.h"
#include "core/runtime/port_scanner.h"
#include "core/routing/proxy_server.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/error.hpp>
#include <asio/system_error.hpp>
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <set>

namespace qs {
namespace {

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

QSNetworkOperations::QSNetworkOperations(QSEngineState& state, QSRequestLogs& requestLogs,
                                         const QSNetworkServiceOptions& options, FullStatus fullStatus)
    : state_(state), requestLogs_(requestLogs), options_(options), fullStatus_(std::move(fullStatus)) {
  dns_ = std::make_shared<QSDNSServer>(state_.executor, options.dnsPort);
  proxy_ = std::make_shared<QSProxyServer>(state_.executor, options.proxyPort, options.proxyTLSPort);
  certificates_ = std::make_shared<QSCertificateService>(
      options.sslDirectory ? *options.sslDirectory : QSCertificateService::defaultDirectory());
  domains_ = std::make_unique<QSDomainService>(proxy_);
  privileged_ = std::make_unique<QSPrivilegedRouting>(state_, *this, options, dns_, proxy_, certificates_);
}

QSNetworkOperations::~QSNetworkOperations() = default;

// At bootstrap. A DNS port that cannot be bound, or a proxy port someone else holds, leaves that
// service stopped; the status then says so and who holds the port.
asio::awaitable<void> QSNetworkOperations::start() {
  // An installed resolver entry keeps pointing at the right port (unless the system is to
  // choose one, as tests ask).
  std::optional<int> preferred = options_.dnsPort == 0 ? std::nullopt : privileged_->installedResolverPort();
  try {
    co_await dns_->start(preferred);
  } catch (const std::exception& e) {
    state_.log(std::string(QSEngineState::logPrefix) + "couldn't start the DNS server: " + e.what());
  }
  std::weak_ptr<QSRequestLogs> weak = state_.weakHandle(requestLogs_);
  proxy_->setRequestHandler([weak](QSLogEntry entry) {
    if (auto self = weak.lock()) self->recordRequest(std::move(entry));
  });
  if (!proxy_->isRunning() && availabilityOf(QSPortScanner(), options_.proxyPort).is<portAvailability::Available>()) {
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

void QSNetworkOperations::stop() {
  dns_->stop();
  proxy_->stop();
}

void QSNetworkOperations::reconcileRoutes() {
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
asio::awaitable<void> QSNetworkOperations::refreshTLS() {
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

asio::awaitable<QSNetworkStatus> QSNetworkOperations::networkStatus() {
  QSNetworkStatus status;
  status.dnsRunning = dns_->isRunning();
  status.dnsPort = dns_->boundPort();
  status.proxyRunning = proxy_->isRunning();
  status.proxyTLSRunning = proxy_->isTLSRunning();
  status.proxyPort = proxy_->port();
  status.proxyTLSPort = proxy_->tlsPort();
  co_await privileged_->addPrivilegedFacts(status);
  int httpPort = options_.proxyPort, httpsPort = options_.proxyTLSPort;
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

QSHealthReport QSNetworkOperations::healthReport() const {
  QSHealthReport report;
  report.dnsRunning = dns_->isRunning();
  report.proxyRunning = proxy_->isRunning();
  privileged_->addPrivilegedFacts(report);
  report.stateLoadWarning = state_.stateLoadWarning;
  return report;
}

asio::awaitable<void> QSNetworkOperations::emitNetworkChanged() {
  QSFullStatus status = co_await fullStatus_();
  state_.emit(evt::NetworkChanged{status});
}

asio::awaitable<QSDomain> QSNetworkOperations::addDomain(const QSUUID& projectID, const std::string& hostname, bool ssl) {
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

asio::awaitable<void> QSNetworkOperations::removeDomain(const QSUUID& projectID) {
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

asio::awaitable<void> QSNetworkOperations::startDNS() {
  co_await dns_->start();
  co_await emitNetworkChanged();
}

asio::awaitable<void> QSNetworkOperations::stopDNS() {
  dns_->stop();
  co_await emitNetworkChanged();
}

// A busy port is named with the programs that hold it, so that the user knows what to stop.
// Once the plain listener is up, the TLS one comes back too whenever an HTTPS domain exists (a
// stop closed both).
asio::awaitable<void> QSNetworkOperations::startProxy() {
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
}

asio::awaitable<void> QSNetworkOperations::stopProxy() {
  proxy_->stop();
  co_await emitNetworkChanged();
}

}  // namespace qs

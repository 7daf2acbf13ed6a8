#include "core/engine/privileged_routing.h"

#include "core/engine/network_operations.h"
#include "core/engine/off_loop.h"
#include "core/routing/ca_trust.h"
#include "core/routing/certificate_service.h"
#include "core/routing/dns_server.h"
#include "core/routing/privileged_error.h"
#include "core/routing/privileged_helper.h"
#include "core/routing/proxy_server.h"
#include "core/platform/paths.h"
#include "core/protocol/daemon_error.h"
#include "core/protocol/status.h"

namespace qs {
namespace {

// The daemon's failure for a privileged one: a refusal keeps its case, so that a client on a
// terminal can run the step itself; the others keep their text.
QSDaemonException daemonFailure(const QSPrivilegedException& e) {
  if (const auto* refusal = e.error().get<privilegedError::RequiresInteractiveSession>())
    return QSDaemonException(QSDaemonError(daemonError::RequiresInteractiveSession{refusal->value}));
  return QSDaemonException(QSDaemonError(daemonError::OperationFailed{e.what()}));
}

std::optional<std::string> resolverName(QSResolverService service) {
  switch (service) {
    case QSResolverService::systemdResolved:
      return "systemd-resolved";
    case QSResolverService::networkManagerDnsmasq:
      return "NetworkManager's dnsmasq";
    case QSResolverService::none:
      break;
  }
  return std::nullopt;
}

// What the status reports of the privileged pieces; read off the loop (systemctl, certutil).
struct PrivilegedFacts {
  std::optional<int> resolverPort;
  bool resolverConfigured = false;
  bool redirectInstalled = false;
  bool watchdogActive = false;
  std::optional<std::string> resolver;
  bool caTrusted = false;
};

}  // namespace

QSPrivilegedRouting::QSPrivilegedRouting(QSEngineState& state, QSNetworkOperations& network,
                                         const QSNetworkServiceOptions& options, std::shared_ptr<QSDNSServer> dns,
                                         std::shared_ptr<QSProxyServer> proxy,
                                         std::shared_ptr<QSCertificateService> certificates)
    : state_(state),
      network_(network),
      dns_(std::move(dns)),
      proxy_(std::move(proxy)),
      certificates_(std::move(certificates)) {
  auto runner = options.privilegedRunner ? options.privilegedRunner : std::make_shared<QSSystemPrivilegedRunner>(false);
  auto system = options.systemRoot ? *options.systemRoot : QSSystemRoot::fromEnvironment();
  privileged_ = std::make_shared<QSPrivilegedHelper>(system, runner);
  trust_ = std::make_shared<QSCATrust>(certificates_->caCertificateURL(), system, runner, QSPaths::home());
}

std::optional<int> QSPrivilegedRouting::installedResolverPort() const { return privileged_->configuredResolverPort(); }

asio::awaitable<void> QSPrivilegedRouting::runPrivileged(std::function<void()> step) {
  auto work = [step] {
    step();
    return true;
  };
  try {
    co_await runOffLoop(state_.workers, state_.executor, work);
  } catch (const QSPrivilegedException& e) {
    throw daemonFailure(e);
  }
}

asio::awaitable<void> QSPrivilegedRouting::enableTestRouting() {
  if (!dns_->isRunning())
    throw QSDaemonException(QSDaemonError(daemonError::OperationFailed{
        "The DNS server isn't running, so .test names have nowhere to go; start it with 'qs dns start'."}));
  // The ports the proxy really listens on (it may have been given others than 7080/7443).
  QSRoutingPorts ports{proxy_->port(), proxy_->tlsPort(), dns_->boundPort()};
  auto helper = privileged_;
  std::function<void()> step = [helper, ports] { helper->enableTestRouting(ports); };
  co_await runPrivileged(step);
  co_await network_.emitNetworkChanged();
}

asio::awaitable<void> QSPrivilegedRouting::disableTestRouting() {
  auto helper = privileged_;
  std::function<void()> step = [helper] { helper->disableTestRouting(); };
  co_await runPrivileged(step);
  co_await network_.emitNetworkChanged();
}

// An authority that may sign for any name is replaced on the way (see trustReplacingUnlimitedCA).
// The proxy's certificate is issued again afterwards, since the authority may have changed here
// or in `qs ca trust` running the step itself.
asio::awaitable<void> QSPrivilegedRouting::trustCA() {
  auto certificates = certificates_;
  auto trust = trust_;
  std::function<void()> step = [certificates, trust] { trustReplacingUnlimitedCA(*certificates, *trust); };
  co_await runPrivileged(step);
  co_await network_.refreshTLS();
  co_await network_.emitNetworkChanged();
}

asio::awaitable<void> QSPrivilegedRouting::untrustCA() {
  auto trust = trust_;
  std::function<void()> step = [trust] { trust->untrustCA(); };
  co_await runPrivileged(step);
  co_await network_.emitNetworkChanged();
}

asio::awaitable<void> QSPrivilegedRouting::addPrivilegedFacts(QSNetworkStatus& status) {
  auto helper = privileged_;
  auto trust = trust_;
  int dnsPort = status.dnsPort;
  auto read = [helper, trust, dnsPort] {
    PrivilegedFacts facts;
    facts.resolverPort = helper->configuredResolverPort();
    facts.resolverConfigured = helper->isResolverConfigured(dnsPort);
    facts.redirectInstalled = helper->isRedirectInstalled();
    facts.watchdogActive = facts.redirectInstalled && helper->isWatchdogActive();
    facts.resolver = resolverName(helper->activeResolver());
    facts.caTrusted = trust->isCATrusted();
    return facts;
  };
  PrivilegedFacts facts = co_await runOffLoop(state_.workers, state_.executor, read);
  status.testRoutingEnabled = facts.resolverConfigured && facts.redirectInstalled;
  status.testRoutingPortConflict =
      !status.testRoutingEnabled && facts.redirectInstalled && facts.resolverPort && *facts.resolverPort != dnsPort;
  status.testRoutingExpectedPort = facts.resolverPort;
  status.testRoutingRedirectInstalled = facts.redirectInstalled;
  status.testRoutingWatchdogActive = facts.watchdogActive;
  status.testRoutingResolver = facts.resolver;
  status.caTrusted = facts.caTrusted;
}

void QSPrivilegedRouting::addPrivilegedFacts(QSHealthReport& report) const {
  int dnsPort = dns_->boundPort();
  report.resolverInstalled = privileged_->isResolverConfigured(dnsPort);
  report.testRoutingEnabled = report.resolverInstalled && privileged_->isRedirectInstalled();
}

}  // namespace qs

// The engine's .test services: the DNS responder, the proxy with its plain and TLS listeners, the
// certificate authority that keeps the proxy's certificate covering every HTTPS domain, the
// projects' domains, and the network status built from all of them. The system-wide half of
// .test routing (QSPrivilegedRouting) belongs to it.
#pragma once

#include "core/engine/engine_state.h"
#include "core/engine/network_service_options.h"
#include "core/engine/request_logs.h"
#include "core/models/domain.h"
#include "core/protocol/status.h"

#include <asio/awaitable.hpp>

#include <functional>
#include <memory>
#include <string>

namespace qs {

class QSCertificateService;
class QSDNSServer;
class QSDomainService;
class QSPrivilegedRouting;
class QSProxyServer;

class QSNetworkOperations {
public:
  // The engine's full status, which every change of the network is published with.
  using FullStatus = std::function<asio::awaitable<QSFullStatus>()>;

  // The proxy's requests go to `requestLogs`.
  QSNetworkOperations(QSEngineState& state, QSRequestLogs& requestLogs, const QSNetworkServiceOptions& options,
                      FullStatus fullStatus);
  ~QSNetworkOperations();

  // At bootstrap. A DNS port that cannot be bound, or a proxy port someone else holds, leaves that
  // service stopped; the status then says so and who holds the port.
  asio::awaitable<void> start();
  void stop();
  asio::awaitable<void> startDNS();
  asio::awaitable<void> stopDNS();
  // Fails naming the programs that hold a busy port.
  asio::awaitable<void> startProxy();
  asio::awaitable<void> stopProxy();

  asio::awaitable<QSDomain> addDomain(const QSUUID& projectID, const std::string& hostname, bool ssl);
  asio::awaitable<void> removeDomain(const QSUUID& projectID);
  // Routes exactly the projects' domains, each to its project's current port (a port changed
  // since the domain was added, a removed project's name).
  void reconcileRoutes();
  // Issues the proxy's certificate again for every HTTPS domain.
  asio::awaitable<void> refreshTLS();

  asio::awaitable<QSNetworkStatus> networkStatus();
  QSHealthReport healthReport() const;
  asio::awaitable<void> emitNetworkChanged();
  QSPrivilegedRouting& privileged() { return *privileged_; }

private:
  QSEngineState& state_;
  QSRequestLogs& requestLogs_;
  QSNetworkServiceOptions options_;
  FullStatus fullStatus_;
  std::shared_ptr<QSDNSServer> dns_;
  std::shared_ptr<QSProxyServer> proxy_;
  std::shared_ptr<QSCertificateService> certificates_;
  std::unique_ptr<QSDomainService> domains_;
  std::unique_ptr<QSPrivilegedRouting> privileged_;
};

}  // namespace qs

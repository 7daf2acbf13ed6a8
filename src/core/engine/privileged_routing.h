// .test routing's system-wide half: the resolver entry, the port redirect and its watchdog,
// installed and removed through the privileged helper; trust in the certificate authority; and
// what the network status and health report say of them. Every privileged step blocks (a script,
// perhaps a password dialog), so it runs on the worker pool.
#pragma once

#include "core/engine/engine_state.h"
#include "core/engine/network_service_options.h"
#include "core/protocol/status.h"

#include <asio/awaitable.hpp>

#include <functional>
#include <memory>
#include <optional>

namespace qs {

class QSCATrust;
class QSCertificateService;
class QSDNSServer;
class QSNetworkOperations;
class QSPrivilegedHelper;
class QSProxyServer;

class QSPrivilegedRouting {
public:
  // Routes to the services `network` runs; refreshes its certificate and publishes its changes.
  QSPrivilegedRouting(QSEngineState& state, QSNetworkOperations& network, const QSNetworkServiceOptions& options,
                      std::shared_ptr<QSDNSServer> dns, std::shared_ptr<QSProxyServer> proxy,
                      std::shared_ptr<QSCertificateService> certificates);

  // The DNS port the installed resolver entry names, so that the DNS server keeps it.
  std::optional<int> installedResolverPort() const;
  asio::awaitable<void> enableTestRouting();
  asio::awaitable<void> disableTestRouting();
  asio::awaitable<void> trustCA();
  asio::awaitable<void> untrustCA();
  // The resolver, redirect, watchdog and trust facts of the status and the health report.
  asio::awaitable<void> addPrivilegedFacts(QSNetworkStatus& status);
  void addPrivilegedFacts(QSHealthReport& report) const;

private:
  // Runs `step` on the worker pool; its QSPrivilegedException becomes the daemon's failure.
  asio::awaitable<void> runPrivileged(std::function<void()> step);

  QSEngineState& state_;
  QSNetworkOperations& network_;
  std::shared_ptr<QSDNSServer> dns_;
  std::shared_ptr<QSProxyServer> proxy_;
  std::shared_ptr<QSCertificateService> certificates_;
  std::shared_ptr<QSPrivilegedHelper> privileged_;
  std::shared_ptr<QSCATrust> trust_;
};

}  // namespace qs

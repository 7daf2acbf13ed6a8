// Keeps the proxy's route table in step with the projects' .test domains, validating each
// host name before any route is touched.
#pragma once

#include "core/models/domain.h"
#include "core/routing/domain_names.h"
#include "core/routing/proxy_server.h"

#include <map>
#include <memory>
#include <string>

namespace qs {

class QSDomainService {
public:
  explicit QSDomainService(std::shared_ptr<QSProxyServer> proxy) : proxy_(std::move(proxy)) {}

  // Routes the domain's host name to 127.0.0.1:port. Throws QSDomainException(invalidHostname)
  // for a name that is not one lower-case label followed by ".test", changing nothing.
  void addDomain(const QSDomain& domain, int port, const QSUUID& projectID);
  // Removes the route of the domain's host name (validated the same way).
  void removeDomain(const QSDomain& domain);
  // Routes the host name again with a new port.
  void updatePort(const QSDomain& domain, int port, const QSUUID& projectID);
  // Host name → port, as the proxy routes them.
  std::map<std::string, int> listDomains() const { return proxy_->registeredRoutes(); }
  bool isRegistered(const std::string& hostname) const { return proxy_->route(hostname).has_value(); }

private:
  std::shared_ptr<QSProxyServer> proxy_;
};

}  // namespace qs

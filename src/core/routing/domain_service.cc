#include "core/routing/domain_service.h"

namespace qs {

void QSDomainService::addDomain(const QSDomain& domain, int port, const QSUUID& projectID) {
  requireValidHostname(domain.hostname);
  proxy_->registerRoute(domain.hostname, port, projectID);
}

void QSDomainService::removeDomain(const QSDomain& domain) {
  requireValidHostname(domain.hostname);
  proxy_->unregisterRoute(domain.hostname);
}

void QSDomainService::updatePort(const QSDomain& domain, int port, const QSUUID& projectID) {
  proxy_->registerRoute(domain.hostname, port, projectID);
}

}  // namespace qs

// The ports of the daemon's .test services, as the environment overrides them.
#pragma once

#include "core/engine/network_service_options.h"

#include <functional>
#include <string>

namespace qs {

// QS_PROXY_PORT, QS_PROXY_TLS_PORT and QS_DNS_PORT (each 0–65535; 0 lets the system choose)
// replace the ports 7080, 7443 and 5300, so that a second daemon (a test's) can run beside the
// user's. A value that is not such a number is reported through `log` and ignored.
QSNetworkServiceOptions networkOptionsFromEnvironment(const std::function<void(const std::string&)>& log);

}  // namespace qs

#include "core/daemon/network_options.h"

#include "core/platform/process_environment.h"

#include <charconv>
#include <string_view>

namespace qs {
namespace {

void override(const char* variable, int& port, const std::function<void(const std::string&)>& log) {
  auto text = environmentValue(variable);
  if (!text) return;
  std::string_view value(*text);
  int parsed = -1;
  auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), parsed);
  if (ec != std::errc() || end != value.data() + value.size() || parsed < 0 || parsed > 65535) {
    log(std::string("quaysided: ignoring ") + variable + "=" + *text + ": not a port number (0-65535)");
    return;
  }
  port = parsed;
}

}  // namespace

QSNetworkServiceOptions networkOptionsFromEnvironment(const std::function<void(const std::string&)>& log) {
  QSNetworkServiceOptions options;
  override("QS_PROXY_PORT", options.proxyPort, log);
  override("QS_PROXY_TLS_PORT", options.proxyTLSPort, log);
  override("QS_DNS_PORT", options.dnsPort, log);
  return options;
}

}  // namespace qs

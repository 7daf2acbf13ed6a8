// Feeds arbitrary bytes to what the proxy reads of a connection: host extraction, the routing
// decision, the pages that repeat the host, and both sides of the exchange log. Never a crash;
// an extracted host has no line break in it, and a page never carries the host unescaped.
#include "core/routing/proxy_exchange_log.h"
#include "core/routing/proxy_pages.h"
#include "core/routing/proxy_request_head.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  (void)qs::QSProxyRequestHead::hasEnoughToRoute(bytes);
  if (auto host = qs::QSProxyRequestHead::extractHost(bytes)) {
    if (host->find("\r\n") != std::string::npos) std::abort();
    std::string page = qs::QSProxyPages::unknownHost(*host);
    if (page.find("<title>" + qs::QSProxyPages::escapeHTML(*host) + " — ") == std::string::npos) std::abort();
  }
  int logged = 0;
  qs::QSProxyExchangeLog log("blog.test", qs::QSUUID::random(), [&](qs::QSLogEntry) { ++logged; });
  // The same bytes as a request, then split in two as responses: at most one entry per request.
  log.observeRequest(bytes);
  log.observeResponse(bytes);
  log.observeResponse(bytes.substr(size / 2));
  if (logged > 1) std::abort();
  return 0;
}

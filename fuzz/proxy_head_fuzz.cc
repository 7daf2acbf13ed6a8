// Feeds arbitrary bytes to what the proxy reads of a connection: the first request head and its
// Host, the pages that repeat the host, and both directions of the exchange log. Never a crash;
// an accepted host has no line break in it, a page never carries the host unescaped, and nothing
// passes the request side that was not sent.
#include "core/routing/proxy_exchange_log.h"
#include "core/routing/proxy_pages.h"
#include "core/routing/proxy_request_head.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (auto length = qs::QSProxyRequestHead::headLength(bytes)) {
    auto parsed = qs::QSProxyRequestHead::parseRequest(bytes.substr(0, *length));
    if (const auto* head = std::get_if<qs::QSHTTPHead>(&parsed)) {
      std::string host = qs::QSProxyRequestHead::hostName(*head->field("host"));
      if (host.find_first_of("\r\n") != std::string::npos) std::abort();
      std::string page = qs::QSProxyPages::unknownHost(host);
      if (page.find("<title>" + qs::QSProxyPages::escapeHTML(host) + " — ") == std::string::npos) std::abort();
    }
  }
  int logged = 0;
  qs::QSProxyExchangeLog log("blog.test", qs::QSUUID::random(), [&](qs::QSLogEntry) { ++logged; });
  // The same bytes from the client in two pieces, then from the project in two pieces.
  std::string passed = log.fromClient(bytes.substr(0, size / 2)) + log.fromClient(bytes.substr(size / 2));
  if (passed.size() > size) std::abort();
  log.fromProject(bytes.substr(0, size / 3));
  log.fromProject(bytes.substr(size / 3));
  log.projectEnded();
  if (static_cast<std::size_t>(logged) > size / 16 + 1) std::abort();
  return 0;
}

// The pages the proxy answers with itself: a request without a usable Host, a host no project
// owns, a project that does not answer. Each is one complete HTTP/1.1 response after which the
// connection is closed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qs::QSProxyPages {

// The page body: title, heading, paragraphs and an optional list of causes, in the proxy's
// style (light and dark). Title and heading are inserted as given: escape host names first.
std::string diagnosisHTML(std::string_view title, std::string_view heading, const std::vector<std::string>& paragraphs,
                          const std::vector<std::string>& causes);

// "HTTP/1.1 STATUS REASON" with an HTML body, its length in bytes and "Connection: close".
std::string response(int status, std::string_view reason, std::string_view body);

// 502: the domain is registered but nothing answered on localhost:port.
std::string projectNotRunning(std::string_view host, int port);
// 502: no project is registered for the host.
std::string unknownHost(std::string_view host);
// A bare error page, e.g. error(400, "Bad Request").
std::string error(int status, std::string_view reason);

}  // namespace qs::QSProxyPages

// HTTP/1.1 message heads as the proxy reads them: where a head ends, and what it says.
//
// Request heads are read strictly. The project server behind the proxy frames the same bytes
// itself; wherever two readers could disagree (both Content-Length and Transfer-Encoding, bare LF
// line ends, folded field lines, two Host fields, two different lengths), the head is refused, so
// that the project never sees a request the proxy did not (nor one routed by another Host than
// the project reads). Response heads come from the user's own project and are read leniently.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace qs {

struct QSHTTPHead {
  std::string method;  // requests: the method as sent
  std::string target;  // requests: the request target as sent
  int status = 0;      // responses: the status code
  std::vector<std::pair<std::string, std::string>> fields;  // names lower-cased, values trimmed

  // The value of the first field named `name` (lower case), if any.
  std::optional<std::string_view> field(std::string_view name) const;
  std::size_t count(std::string_view name) const;
};

// How the body after a head ends.
struct QSHTTPBodyFraming {
  enum Kind { none, counted, chunked, untilClose, tunnel } kind = none;
  std::uint64_t length = 0;  // for `counted`: the number of bytes
};

// Why a request was refused: it cannot be framed unambiguously, its head is too large, or it
// names another host than the connection was routed by.
enum class QSHTTPFault { malformed, tooLarge, misdirected };

namespace QSProxyRequestHead {

// The longest head the proxy takes, in bytes.
inline constexpr std::size_t headLimit = 65536;

// The length of the head at the start of `bytes`, through the blank line that ends it (line
// ends found by LF, so that a head with bare LFs is found too, and then refused); nothing while
// that line has not come.
std::optional<std::size_t> headLength(std::string_view bytes);

// A complete request head (as headLength delimits it), or why it cannot be relayed: a request
// line other than METHOD SP TARGET SP HTTP/1.x; a bare CR or LF; a folded line; a field name that
// is not a token (so no white space before the colon); a control character in a value; no Host
// field, an empty one or two of them; Transfer-Encoding with Content-Length, or whose last coding
// is not chunked, or in an HTTP/1.0 request; Content-Length values that are not all the same
// number.
std::variant<QSHTTPHead, QSHTTPFault> parseRequest(std::string_view head);

// How the body of a request that parseRequest accepted ends: chunked, a length, or none.
QSHTTPBodyFraming requestBody(const QSHTTPHead& request);

// A complete response head, leniently (LF alone ends a line; folded and broken field lines are
// skipped). Nothing when the status line is not HTTP/1.x with a three-digit status.
std::optional<QSHTTPHead> parseResponse(std::string_view head);

// How the body of `response` to a request with `method` ends: none for 1xx (but a tunnel for 101),
// 204, 304 and HEAD; a tunnel for a successful CONNECT; then chunked, a length, or until the
// project closes.
QSHTTPBodyFraming responseBody(const QSHTTPHead& response, std::string_view method);

// The Host field's name without its port (from the last ":", unless that is inside an IPv6
// literal's brackets).
std::string hostName(std::string_view hostField);

}  // namespace QSProxyRequestHead
}  // namespace qs

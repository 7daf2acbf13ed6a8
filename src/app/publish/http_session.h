// HTTP requests for the hosting client and the token service, over libcurl. Transfers block, so
// they run on the session's own small thread pool and resume the caller on its executor.
//
// What every request gets, with no way to turn it off: TLS peer and host verification; https
// only, except plain http to this computer (127.0.0.1, ::1, localhost); no automatic redirects
// (a redirect within the same scheme, host and port is followed, up to five times; one that
// leaves them fails, so credentials never travel to another host).
#pragma once

#include "app/publish/http_error.h"

#include <asio/awaitable.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace asio {
class thread_pool;
}

namespace qs {

struct QSHTTPRequest {
  std::string method = "GET";  // "GET", "POST", "PATCH"
  std::string url;             // absolute
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;  // sent as it is (with POST and PATCH), unless fileBody is set
  // A body streamed from disk, never held in memory whole: prefix, the file's bytes, suffix.
  struct FileBody {
    std::string prefix;
    std::filesystem::path file;
    std::string suffix;
  };
  std::optional<FileBody> fileBody;
  // The longest the exchange may go without a byte sent or received (connecting and waiting for
  // the answer included). However steadily bytes move, the whole exchange ends after
  // QSHTTPSession::resourceTimeout.
  std::chrono::milliseconds timeout{30000};
};

struct QSHTTPResponse {
  int status = 0;
  std::string body;
};

// Watches one transfer for silence: told the bytes moved so far (sent and received) as time
// goes on, it says when none has moved for longer than the limit.
class QSTransferSilence {
public:
  using Clock = std::chrono::steady_clock;
  QSTransferSilence(std::chrono::milliseconds limit, Clock::time_point start) : limit_(limit), lastMove_(start) {}
  // True when, at `now`, the transfer has been silent for longer than the limit.
  bool tooLong(Clock::time_point now, std::int64_t bytesMoved);

private:
  std::chrono::milliseconds limit_;
  Clock::time_point lastMove_;
  std::int64_t bytes_ = 0;
};

class QSHTTPSession : public std::enable_shared_from_this<QSHTTPSession> {
public:
  // Answers larger than this fail (the service's answers are small JSON documents).
  static constexpr std::size_t maximumResponseSize = 32u << 20;
  // The longest any request may take, whatever it asks for.
  static constexpr std::chrono::seconds resourceTimeout{600};

  // The session every client shares unless given another.
  static std::shared_ptr<QSHTTPSession> shared();
  static std::shared_ptr<QSHTTPSession> make();
  ~QSHTTPSession();

  // Sends `request` on the pool and returns the answer, whatever its status. Throws
  // QSHTTPException: the exchange failed before an answer came (no connection, TLS refused,
  // timed out, redirected away: "Failed to connect to 127.0.0.1 port 9: Connection refused"),
  // or the file of a FileBody could not be read (bodyUnreadable). Cancelling the awaiting operation ends the
  // transfer within about a second ("the request was cancelled").
  asio::awaitable<QSHTTPResponse> send(QSHTTPRequest request);
  // The same, on the calling thread; the transfer ends when `cancelled` turns true.
  QSHTTPResponse sendBlocking(const QSHTTPRequest& request, const std::atomic<bool>* cancelled = nullptr) const;

private:
  QSHTTPSession();
  std::unique_ptr<asio::thread_pool> pool_;
};

// The scheme, host and port of an absolute URL ("https://api.example:443"), the port filled in
// from the scheme; nothing when the text is not an absolute URL with a host.
std::optional<std::string> urlOrigin(const std::string& url);
// Whether `url` is an absolute URL with a scheme (the form a configured address must have).
bool hasURLScheme(const std::string& url);

}  // namespace qs

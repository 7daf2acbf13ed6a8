#include "app/publish/http_session.h"

#include "core/platform/lazy_curl.h"

#include <asio/associated_cancellation_slot.hpp>
#include <asio/associated_executor.hpp>
#include <asio/post.hpp>
#include <asio/thread_pool.hpp>
#include <asio/use_awaitable.hpp>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace qs {
namespace {

constexpr int kMaximumRedirects = 5;

bool isLoopbackHost(const std::string& host) {
  return host == "127.0.0.1" || host == "localhost" || host == "[::1]" || host == "::1";
}

// https everywhere; plain http only where nothing leaves this computer.
void requireSafeScheme(const std::string& url) {
  auto parts = curlURLParts(url);
  if (!parts) throw QSHTTPException(httpError::InvalidAddress{url});
  if (parts->scheme == "https" || (parts->scheme == "http" && isLoopbackHost(parts->host))) return;
  throw QSHTTPException(httpError::InsecureAddress{url});
}

// The request body, streamed: the prefix, then the file in pieces, then the suffix.
class UploadSource {
public:
  explicit UploadSource(const QSHTTPRequest::FileBody& body) : body_(body) {
    std::error_code error;
    fileSize_ = std::filesystem::file_size(body.file, error);
    if (error) unreadable(body, error.message());
    file_.open(body.file, std::ios::binary);
    if (!file_) unreadable(body, std::strerror(errno));
  }

  [[noreturn]] static void unreadable(const QSHTTPRequest::FileBody& body, const std::string& reason) {
    throw QSHTTPException(httpError::BodyUnreadable{"open " + body.file.string() + ": " + reason});
  }

  curl_off_t size() const { return static_cast<curl_off_t>(body_.prefix.size() + fileSize_ + body_.suffix.size()); }
  const std::string& failure() const { return failure_; }

  static std::size_t read(char* buffer, std::size_t size, std::size_t count, void* self) {
    return static_cast<UploadSource*>(self)->fill(buffer, size * count);
  }

private:
  std::size_t fill(char* buffer, std::size_t room) {
    std::size_t written = 0;
    while (written < room && stage_ < 3) {
      if (stage_ == 1) {
        file_.read(buffer + written, static_cast<std::streamsize>(std::min(room - written, fileSize_ - fileSent_)));
        auto got = static_cast<std::size_t>(file_.gcount());
        if (got == 0 && fileSent_ < fileSize_) {
          failure_ = "read " + body_.file.string() + ": the file ended early or could not be read";
          return CURL_READFUNC_ABORT;
        }
        written += got;
        fileSent_ += got;
        if (fileSent_ == fileSize_) advance();
        continue;
      }
      const std::string& text = stage_ == 0 ? body_.prefix : body_.suffix;
      std::size_t n = std::min(room - written, text.size() - offset_);
      std::memcpy(buffer + written, text.data() + offset_, n);
      written += n;
      offset_ += n;
      if (offset_ == text.size()) advance();
    }
    return written;
  }
  void advance() {
    ++stage_;
    offset_ = 0;
  }

  const QSHTTPRequest::FileBody& body_;
  std::ifstream file_;
  std::uintmax_t fileSize_ = 0, fileSent_ = 0;
  int stage_ = 0;  // 0 prefix, 1 file, 2 suffix, 3 done
  std::size_t offset_ = 0;
  std::string failure_;
};

struct ResponseSink {
  std::string body;
  bool tooLarge = false;
  static std::size_t write(char* data, std::size_t size, std::size_t count, void* self) {
    auto* sink = static_cast<ResponseSink*>(self);
    std::size_t n = size * count;
    if (sink->body.size() + n > QSHTTPSession::maximumResponseSize) {
      sink->tooLarge = true;
      return 0;  // ends the transfer
    }
    sink->body.append(data, n);
    return n;
  }
};

struct Exchange {
  QSHTTPResponse response;
  std::optional<std::string> redirect;  // where a 3xx answer points
};

void configure(QSCurlTransfer& curl, const QSHTTPRequest& request, const QSCurlHeaderList& headers,
               char* errorBuffer) {
  // The request's own limit is on silence (the progress callback watches it); the whole
  // exchange, however busy, has the session's.
  auto total = std::chrono::duration_cast<std::chrono::milliseconds>(QSHTTPSession::resourceTimeout);
  auto limit = std::min<std::chrono::milliseconds>(request.timeout, total);
  curl.setText(CURLOPT_URL, request.url.c_str());
  curl.setText(CURLOPT_PROTOCOLS_STR, "http,https");
  curl.setNumber(CURLOPT_FOLLOWLOCATION, 0L);
  curl.setNumber(CURLOPT_SSL_VERIFYPEER, 1L);
  curl.setNumber(CURLOPT_SSL_VERIFYHOST, 2L);
  curl.setNumber(CURLOPT_NOSIGNAL, 1L);
  curl.setNumber(CURLOPT_TIMEOUT_MS, static_cast<long>(total.count()));
  curl.setNumber(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limit.count()));
  curl.setPointer(CURLOPT_ERRORBUFFER, errorBuffer);
  curl.setHeaders(headers);
  curl.setText(CURLOPT_USERAGENT, "Quayside/" QS_VERSION);
  if (request.method == "GET") return;
  if (request.method == "POST") curl.setNumber(CURLOPT_POST, 1L);
  else curl.setText(CURLOPT_CUSTOMREQUEST, request.method.c_str());
  if (!request.fileBody) {
    curl.setText(CURLOPT_POSTFIELDS, request.body.c_str());
    curl.setSize(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  }
}

// What the progress callback watches.
struct Watch {
  const std::atomic<bool>* cancelled;
  QSTransferSilence silence;
  bool silent = false;
};

// libcurl asks at least once a second; a non-zero answer ends the transfer.
int watchProgress(void* data, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
  auto* watch = static_cast<Watch*>(data);
  if (watch->cancelled && watch->cancelled->load()) return 1;
  watch->silent = watch->silence.tooLong(QSTransferSilence::Clock::now(), received + sent);
  return watch->silent ? 1 : 0;
}

Exchange exchangeOnce(const QSHTTPRequest& request, const std::atomic<bool>* cancelled) {
  requireSafeScheme(request.url);
  QSCurlTransfer curl;
  if (!curl.valid()) throw QSHTTPException(httpError::NotStarted{});
  QSCurlHeaderList headers;
  for (const auto& [name, value] : request.headers)
    if (!headers.append(name + ": " + value)) throw QSHTTPException(httpError::NotStarted{});
  char errorBuffer[CURL_ERROR_SIZE] = {};
  configure(curl, request, headers, errorBuffer);

  std::optional<UploadSource> upload;
  if (request.fileBody) {
    upload.emplace(*request.fileBody);
    curl.setReadFunction(&UploadSource::read, &*upload);
    curl.setSize(CURLOPT_POSTFIELDSIZE_LARGE, upload->size());
  }
  Watch watch{cancelled, QSTransferSilence(request.timeout, QSTransferSilence::Clock::now())};
  curl.setProgressFunction(&watchProgress, &watch);
  ResponseSink sink;
  curl.setWriteFunction(&ResponseSink::write, &sink);

  CURLcode code = curl.perform();
  if (upload && !upload->failure().empty()) throw QSHTTPException(httpError::BodyUnreadable{upload->failure()});
  if (sink.tooLarge) throw QSHTTPException(httpError::AnswerTooLarge{});
  if (code == CURLE_ABORTED_BY_CALLBACK && watch.silent)
    throw QSHTTPException(httpError::Silent{request.timeout.count()});
  if (code == CURLE_ABORTED_BY_CALLBACK) throw QSHTTPException(httpError::Cancelled{});
  if (code == CURLE_OPERATION_TIMEDOUT) {
    // The connection was not made within the silence limit, or the whole exchange took too long.
    bool connected = curl.sizeInfo(CURLINFO_CONNECT_TIME_T).value_or(0) > 0;
    auto total = std::chrono::duration_cast<std::chrono::milliseconds>(QSHTTPSession::resourceTimeout);
    if (connected) throw QSHTTPException(httpError::TookTooLong{total.count()});
    throw QSHTTPException(httpError::Silent{request.timeout.count()});
  }
  if (code != CURLE_OK) throw QSHTTPException(httpError::Failed{errorBuffer[0] ? errorBuffer : curlErrorText(code)});

  Exchange out;
  long status = curl.numberInfo(CURLINFO_RESPONSE_CODE).value_or(0);
  out.response = {static_cast<int>(status), std::move(sink.body)};
  if (status >= 300 && status < 400) out.redirect = curl.textInfo(CURLINFO_REDIRECT_URL);
  return out;
}

// The request to send after a redirect: the same for 307 and 308; a GET without a body for
// the others, as browsers do.
QSHTTPRequest redirected(const QSHTTPRequest& request, int status, std::string url) {
  QSHTTPRequest next = request;
  next.url = std::move(url);
  if (status != 307 && status != 308 && request.method != "GET") {
    next.method = "GET";
    next.body.clear();
    next.fileBody.reset();
  }
  return next;
}

}  // namespace

bool QSTransferSilence::tooLong(Clock::time_point now, std::int64_t bytesMoved) {
  if (bytesMoved != bytes_) {
    bytes_ = bytesMoved;
    lastMove_ = now;
    return false;
  }
  return now - lastMove_ > limit_;
}

std::optional<std::string> urlOrigin(const std::string& url) {
  auto parts = curlURLParts(url);
  if (!parts) return std::nullopt;
  return parts->scheme + "://" + parts->host + ":" + parts->port;
}

bool hasURLScheme(const std::string& url) { return curlURLParts(url).has_value(); }

QSHTTPSession::QSHTTPSession() : pool_(std::make_unique<asio::thread_pool>(2)) { loadCurl(); }

QSHTTPSession::~QSHTTPSession() { pool_->join(); }

std::shared_ptr<QSHTTPSession> QSHTTPSession::make() { return std::shared_ptr<QSHTTPSession>(new QSHTTPSession()); }

std::shared_ptr<QSHTTPSession> QSHTTPSession::shared() {
  static std::shared_ptr<QSHTTPSession> session = make();
  return session;
}

QSHTTPResponse QSHTTPSession::sendBlocking(const QSHTTPRequest& request, const std::atomic<bool>* cancelled) const {
  QSHTTPRequest current = request;
  for (int hop = 0;; ++hop) {
    Exchange exchange = exchangeOnce(current, cancelled);
    if (!exchange.redirect) return std::move(exchange.response);
    auto from = urlOrigin(current.url), to = urlOrigin(*exchange.redirect);
    if (!to || from != to)
      throw QSHTTPException(httpError::RedirectedAway{to.value_or(*exchange.redirect)});
    if (hop == kMaximumRedirects) throw QSHTTPException(httpError::TooManyRedirects{});
    current = redirected(current, exchange.response.status, *exchange.redirect);
  }
}

asio::awaitable<QSHTTPResponse> QSHTTPSession::send(QSHTTPRequest request) {
  // A plain completion handler crosses the threads, never a coroutine frame: the transfer runs
  // on the pool, and its outcome is posted back to the caller's executor. Cancelling the
  // caller's operation raises a flag the transfer checks.
  auto initiate = [self = shared_from_this()](auto handler, QSHTTPRequest request) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    auto slot = asio::get_associated_cancellation_slot(handler);
    if (slot.is_connected()) slot.assign([cancelled](asio::cancellation_type) { cancelled->store(true); });
    asio::post(*self->pool_, [self, cancelled, request = std::move(request), handler = std::move(handler)]() mutable {
      std::exception_ptr failure;
      QSHTTPResponse response;
      try {
        response = self->sendBlocking(request, cancelled.get());
      } catch (...) {
        failure = std::current_exception();
      }
      auto executor = asio::get_associated_executor(handler);
      asio::post(executor, [handler = std::move(handler), failure, response = std::move(response)]() mutable {
        if (auto slot = asio::get_associated_cancellation_slot(handler); slot.is_connected()) slot.clear();
        std::move(handler)(failure, std::move(response));
      });
    });
  };
  co_return co_await asio::async_initiate<const asio::use_awaitable_t<>, void(std::exception_ptr, QSHTTPResponse)>(
      std::move(initiate), asio::use_awaitable, std::move(request));
}

}  // namespace qs

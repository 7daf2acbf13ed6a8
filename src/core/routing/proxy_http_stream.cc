#include "core/routing/proxy_http_stream.h"

#include <algorithm>
#include <charconv>

namespace qs {
namespace {

// The longest chunk-size or trailer line taken.
constexpr std::size_t kLineLimit = 4096;

// A chunk-size line's size: hexadecimal digits, then nothing or chunk extensions after ";".
std::optional<std::uint64_t> chunkSize(std::string_view line) {
  auto digits = line.find_first_not_of("0123456789abcdefABCDEF");
  std::string_view hex = line.substr(0, digits);
  if (hex.empty() || hex.size() > 15) return std::nullopt;
  if (digits != std::string_view::npos) {
    auto rest = line.substr(digits);
    auto semicolon = rest.find_first_not_of(" \t");
    if (semicolon == std::string_view::npos || rest[semicolon] != ';') return std::nullopt;
  }
  std::uint64_t size = 0;
  std::from_chars(hex.data(), hex.data() + hex.size(), size, 16);
  return size;
}

}  // namespace

QSHTTPStream::QSHTTPStream(Direction direction, HeadHandler onHead)
    : direction_(direction), onHead_(std::move(onHead)) {}

std::string QSHTTPStream::feed(std::string_view bytes) {
  std::string joined;
  if (!held_.empty()) {
    joined = std::move(held_);
    held_.clear();
    joined.append(bytes);
    bytes = joined;
  }
  std::string out;
  while (!bytes.empty() && !fault_) {
    switch (state_) {
      case State::tunnel:
      case State::untilClose:
        out.append(bytes);
        return out;
      case State::head:
        bytes = takeHead(bytes, out);
        break;
      case State::body:
      case State::chunkData: {
        auto n = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, bytes.size()));
        out.append(bytes.substr(0, n));
        bytes.remove_prefix(n);
        remaining_ -= n;
        if (remaining_ == 0) state_ = state_ == State::body ? State::head : State::chunkEnd;
        break;
      }
      case State::chunkSize:
      case State::chunkEnd:
      case State::trailers:
        bytes = takeLine(bytes, out);
        break;
    }
  }
  return out;
}

void QSHTTPStream::tunnel() { state_ = State::tunnel; }

std::uint64_t QSHTTPStream::unexamined() const {
  if (fault_ || !held_.empty()) return 0;
  switch (state_) {
    case State::tunnel:
    case State::untilClose:
      return untilEnd;
    case State::body:
    case State::chunkData:
      return remaining_;
    default:
      return 0;
  }
}

void QSHTTPStream::skip(std::uint64_t n) {
  if (state_ != State::body && state_ != State::chunkData) return;
  remaining_ -= std::min(n, remaining_);
  if (remaining_ == 0) state_ = state_ == State::body ? State::head : State::chunkEnd;
}

std::string QSHTTPStream::drain() { return std::exchange(held_, std::string()); }

// A request stream stops at a fault; a response stream passes everything on from there.
void QSHTTPStream::fail(QSHTTPFault fault) {
  if (direction_ == Direction::requests)
    fault_ = fault;
  else
    state_ = State::tunnel;
}

std::string_view QSHTTPStream::takeHead(std::string_view bytes, std::string& out) {
  // Line ends between messages (some clients send one after a body) are dropped.
  while (!bytes.empty() && (bytes.front() == '\r' || bytes.front() == '\n')) bytes.remove_prefix(1);
  if (bytes.empty()) return bytes;
  auto length = QSProxyRequestHead::headLength(bytes);
  if (!length && bytes.size() <= QSProxyRequestHead::headLimit) {
    held_.assign(bytes);
    return {};
  }
  if (!length || *length > QSProxyRequestHead::headLimit) {
    fail(QSHTTPFault::tooLarge);
    return fault_ ? std::string_view() : bytes;
  }
  std::string_view text = bytes.substr(0, *length);
  QSHTTPBodyFraming framing;
  if (direction_ == Direction::requests) {
    auto parsed = QSProxyRequestHead::parseRequest(text);
    if (const auto* fault = std::get_if<QSHTTPFault>(&parsed)) {
      fail(*fault);
      return {};
    }
    framing = onHead_(std::get<QSHTTPHead>(parsed));
    if (fault_) return {};
  } else {
    auto parsed = QSProxyRequestHead::parseResponse(text);
    if (!parsed) {
      fail(QSHTTPFault::malformed);
      return bytes;
    }
    framing = onHead_(*parsed);
  }
  out.append(text);
  startBody(framing);
  return bytes.substr(*length);
}

void QSHTTPStream::startBody(QSHTTPBodyFraming framing) {
  remaining_ = framing.length;
  switch (framing.kind) {
    case QSHTTPBodyFraming::none:
      state_ = State::head;
      break;
    case QSHTTPBodyFraming::counted:
      state_ = remaining_ > 0 ? State::body : State::head;
      break;
    case QSHTTPBodyFraming::chunked:
      state_ = State::chunkSize;
      break;
    case QSHTTPBodyFraming::untilClose:
      state_ = State::untilClose;
      break;
    case QSHTTPBodyFraming::tunnel:
      state_ = State::tunnel;
      break;
  }
}

// A chunk-size line, the line end after a chunk's data, or a trailer line (an empty one ends
// the message). Requests need CRLF line ends; responses may use LF alone.
std::string_view QSHTTPStream::takeLine(std::string_view bytes, std::string& out) {
  auto lf = bytes.find('\n');
  if (lf == std::string_view::npos) {
    if (bytes.size() <= kLineLimit) {
      held_.assign(bytes);
      return {};
    }
    fail(QSHTTPFault::malformed);
    return fault_ ? std::string_view() : bytes;
  }
  bool crlf = lf > 0 && bytes[lf - 1] == '\r';
  std::string_view line = bytes.substr(0, lf - (crlf ? 1 : 0));
  bool sound = crlf || direction_ == Direction::responses;
  if (sound && state_ == State::chunkSize) {
    auto size = chunkSize(line);
    sound = size.has_value();
    remaining_ = size.value_or(0);
    trailerBytes_ = 0;
    state_ = remaining_ > 0 ? State::chunkData : State::trailers;
  } else if (sound && state_ == State::chunkEnd) {
    sound = line.empty();
    state_ = State::chunkSize;
  } else if (sound) {
    trailerBytes_ += lf + 1;
    if (line.empty()) state_ = State::head;
    sound = trailerBytes_ <= QSProxyRequestHead::headLimit;
  }
  if (!sound) {
    fail(QSHTTPFault::malformed);
    return fault_ ? std::string_view() : bytes;
  }
  out.append(bytes.substr(0, lf + 1));
  return bytes.substr(lf + 1);
}

}  // namespace qs

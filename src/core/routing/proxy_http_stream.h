// One direction of a proxied HTTP/1.1 connection, followed message by message: each head is
// found however the bytes were chunked, and each body is skipped by its framing (Content-Length,
// chunked, until the close), so that every message is seen exactly once and a body is never
// taken for a head.
#pragma once

#include "core/routing/proxy_request_head.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qs {

class QSHTTPStream {
public:
  enum class Direction { requests, responses };
  // Given every complete head (for requests, only heads parseRequest accepts); returns how the
  // body after it ends.
  using HeadHandler = std::function<QSHTTPBodyFraming(const QSHTTPHead&)>;

  QSHTTPStream(Direction direction, HeadHandler onHead);

  // Takes the next bytes of the stream and returns those that may be passed on now: a head, or a
  // chunk-size line, is held back until it is complete; bodies pass as they come. Requests: once
  // a head or chunked body cannot be framed unambiguously, nothing more passes and fault() says
  // why. Responses: what cannot be followed passes on unexamined from then on.
  std::string feed(std::string_view bytes);
  // Refuses the head being handled (call from the head handler): it does not pass, nor anything
  // after it, and fault() says why.
  void refuse(QSHTTPFault fault) { fault_ = fault; }
  // From now on everything passes unexamined (the connection was upgraded); anything held back
  // comes out with the next feed.
  void tunnel();
  // What is held back when the stream ends (a response head that never completed).
  std::string drain();

  // How many of the next bytes would pass on unexamined, so that they may be relayed without
  // being fed: the rest of a counted body or of a chunk's data, or all of them (untilEnd) in a
  // tunnel or a body that lasts until the close. 0 while a head or line is being read, something
  // is held back, or a fault has stopped the stream.
  static constexpr std::uint64_t untilEnd = UINT64_MAX;
  std::uint64_t unexamined() const;
  // Counts `n` bytes (at most unexamined()) as relayed without being fed.
  void skip(std::uint64_t n);

  std::optional<QSHTTPFault> fault() const { return fault_; }

private:
  enum class State { head, body, chunkSize, chunkData, chunkEnd, trailers, untilClose, tunnel };

  std::string_view takeHead(std::string_view bytes, std::string& out);
  std::string_view takeLine(std::string_view bytes, std::string& out);
  void startBody(QSHTTPBodyFraming framing);
  void fail(QSHTTPFault fault);

  Direction direction_;
  HeadHandler onHead_;
  State state_ = State::head;
  std::uint64_t remaining_ = 0;  // of a body or chunk
  std::size_t trailerBytes_ = 0;
  std::string held_;
  std::optional<QSHTTPFault> fault_;
};

}  // namespace qs

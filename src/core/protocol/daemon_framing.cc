#include "core/protocol/daemon_framing.h"

#include "core/protocol/daemon_error.h"

#include <cstring>

namespace qs::QSDaemonFraming {
namespace {

// No message nests deeper than about a dozen levels. Refusing deeper bodies before parsing keeps
// a hostile 4 MiB frame of brackets from occupying the service loop while millions of nested
// values are built and torn down.
constexpr int maxNestingDepth = 128;

bool nestingExceeds(std::span<const std::uint8_t> body, int limit) {
  int depth = 0;
  bool inString = false, escaped = false;
  for (std::uint8_t byte : body) {
    if (inString) {
      if (escaped) escaped = false;
      else if (byte == '\\') escaped = true;
      else if (byte == '"') inString = false;
    } else if (byte == '"') {
      inString = true;
    } else if (byte == '[' || byte == '{') {
      if (++depth > limit) return true;
    } else if (byte == ']' || byte == '}') {
      --depth;
    }
  }
  return false;
}

}  // namespace

std::string compactText(const json& body) {
  // Replacing bad UTF-8 keeps one odd byte in a server's console line from failing the whole
  // event (the default handler throws).
  return body.dump(-1, ' ', false, json::error_handler_t::replace);
}

QSBytes frame(const json& body) { return frameText(compactText(body)); }

QSBytes frameText(std::string_view text) {
  if (text.size() > maxFrameBytes) throw QSDaemonException(daemonError::OperationFailed{"Frame exceeds maximum size."});
  auto length = static_cast<std::uint32_t>(text.size());
  QSBytes out(headerByteCount + text.size());
  for (std::size_t i = 0; i < headerByteCount; ++i) out[i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
  std::memcpy(out.data() + headerByteCount, text.data(), text.size());
  return out;
}

std::uint32_t bodyLength(std::span<const std::uint8_t> header) {
  if (header.size() != headerByteCount) throw QSDaemonException(daemonError::InvalidResponse{});
  std::uint32_t length = 0;
  for (std::uint8_t byte : header) length = (length << 8) | byte;
  if (length > maxFrameBytes)
    throw QSDaemonException(daemonError::OperationFailed{"Declared frame length exceeds maximum size."});
  return length;
}

json parseBody(std::span<const std::uint8_t> body) {
  if (nestingExceeds(body, maxNestingDepth)) throw QSDecodingError("The frame body is nested too deeply.");
  // Without exceptions the parser reports bad input as a discarded value; one document, no
  // trailing bytes, no comments.
  json document = json::parse(body.begin(), body.end(), nullptr, false);
  if (document.is_discarded()) throw QSDecodingError("The frame body is not valid JSON.");
  return document;
}

}  // namespace qs::QSDaemonFraming

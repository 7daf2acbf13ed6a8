// Frames on the daemon socket: a 4-byte big-endian body length, then one JSON document.
#pragma once

#include "core/models/json_coding.h"
#include "core/platform/encoding.h"
#include "core/protocol/json_text_writer.h"
#include "core/protocol/json_tree_decoding.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qs::QSDaemonFraming {

inline constexpr std::size_t headerByteCount = 4;
// Bounds the body only; a body of exactly this many bytes is allowed.
inline constexpr std::uint32_t maxFrameBytes = 4'194'304;

// Header plus the compact text of `body`. Throws QSDaemonException(operationFailed
// "Frame exceeds maximum size.") when the body is longer than maxFrameBytes. Text that is not
// valid UTF-8 is sent with U+FFFD in place of the bad bytes rather than failing the frame.
QSBytes frame(const json& body);

// The compact text frame(body) puts in a frame, for callers that assemble a body from parts.
std::string compactText(const json& body);
// Header plus `text` as the body, which must already be compact JSON. Throws like frame().
QSBytes frameText(std::string_view text);

// The body text of any codable value, with timestamps as seconds since 2001-01-01: what
// compactText gives for its DOM coding, written without building the DOM.
template <class T>
std::string text(const T& value) {
  return jsonText(value, QSCoder::wire());
}

// Header plus body for any codable value, with timestamps as seconds since 2001-01-01.
template <class T>
QSBytes encode(const T& value) {
  return frameText(text(value));
}

// The body length declared by a header. Throws QSDaemonException(invalidResponse) unless given
// exactly 4 bytes, and QSDaemonException(operationFailed "Declared frame length exceeds maximum
// size.") for a length above maxFrameBytes.
std::uint32_t bodyLength(std::span<const std::uint8_t> header);

// The JSON document of a body; throws QSDecodingError when the bytes are not one JSON document
// or nest arrays and objects more than 128 levels deep.
json parseBody(std::span<const std::uint8_t> body);

// Decodes a body as a `T` (wire timestamps); throws QSDecodingError for anything malformed.
// Well-formed bodies are read without a DOM; the DOM reads the rest and words the error.
template <class T>
T decode(std::span<const std::uint8_t> body) {
  std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
  if (auto value = tryDecodeTree<T>(text, QSCoder::wire())) return std::move(*value);
  return fromJson<T>(parseBody(body), QSCoder::wire());
}

}  // namespace qs::QSDaemonFraming

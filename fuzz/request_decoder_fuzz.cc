// Decodes arbitrary bytes as the body of a request frame (what the daemon reads from a client)
// and of a response frame (what a client reads from the daemon). Whatever decodes must survive
// encode → decode unchanged; anything else must fail with QSDecodingError, never crash or hang.
// The quick path must agree with the DOM: what the tree reader takes, the DOM reader takes with
// the same value, and the text written directly is the DOM's text.
#include "core/protocol/daemon_framing.h"
#include "core/protocol/daemon_message.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string_view>

namespace {

template <class Envelope>
std::optional<Envelope> domDecode(std::span<const std::uint8_t> body) {
  try {
    return qs::fromJson<Envelope>(qs::QSDaemonFraming::parseBody(body), qs::QSCoder::wire());
  } catch (const qs::QSDecodingError&) {
    return std::nullopt;
  }
}

template <class Envelope>
void roundTrip(std::span<const std::uint8_t> body) {
  std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
  auto quick = qs::tryDecodeTree<Envelope>(text, qs::QSCoder::wire());
  auto dom = domDecode<Envelope>(body);
  if (quick && !(dom && *dom == *quick)) std::abort();

  Envelope decoded;
  try {
    decoded = qs::QSDaemonFraming::decode<Envelope>(body);
  } catch (const qs::QSDecodingError&) {
    if (dom) std::abort();
    return;
  }
  if (!dom || !(*dom == decoded)) std::abort();
  qs::QSBytes frame = qs::QSDaemonFraming::encode(decoded);
  std::span<const std::uint8_t> bytes(frame);
  if (qs::QSDaemonFraming::bodyLength(bytes.first(4)) != frame.size() - 4) std::abort();
  std::string_view written(reinterpret_cast<const char*>(frame.data() + 4), frame.size() - 4);
  if (written != qs::QSDaemonFraming::compactText(qs::toJson(decoded, qs::QSCoder::wire()))) std::abort();
  auto again = qs::QSDaemonFraming::decode<Envelope>(bytes.subspan(4));
  if (!(again == decoded)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> body(data, size);
  roundTrip<qs::QSDaemonRequest>(body);
  roundTrip<qs::QSDaemonResponse>(body);
  return 0;
}

// Decodes arbitrary bytes as the body of a request frame (what the daemon reads from a client)
// and of a response frame (what a client reads from the daemon). Whatever decodes must survive
// encode → decode unchanged; anything else must fail with QSDecodingError, never crash or hang.
#include "core/protocol/daemon_framing.h"
#include "core/protocol/daemon_message.h"

#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

template <class Envelope>
void roundTrip(std::span<const std::uint8_t> body) {
  Envelope decoded;
  try {
    decoded = qs::QSDaemonFraming::decode<Envelope>(body);
  } catch (const qs::QSDecodingError&) {
    return;
  }
  qs::QSBytes frame = qs::QSDaemonFraming::encode(decoded);
  std::span<const std::uint8_t> bytes(frame);
  if (qs::QSDaemonFraming::bodyLength(bytes.first(4)) != frame.size() - 4) std::abort();
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

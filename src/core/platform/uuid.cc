#include "core/platform/uuid.h"

#include "core/platform/encoding.h"

#include <pthread.h>
#include <sys/random.h>
#include <uuid/uuid.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace qs {
namespace {

// Decoding one status answer builds hundreds of records, each given a fresh id before the
// decoded one replaces it, and libuuid spends several system calls on every id. The random
// bytes are drawn from the kernel in blocks instead; a forked child draws its own block, so
// it never hands out its parent's ids.
std::atomic<unsigned> forkGeneration{0};

struct RandomPool {
  std::array<std::uint8_t, 4096> bytes{};
  std::size_t used = bytes.size();
  unsigned generation = 0;
};

bool refill(RandomPool& pool) {
  static const int registered = ::pthread_atfork(nullptr, nullptr, [] { ++forkGeneration; });
  (void)registered;
  std::size_t filled = 0;
  while (filled < pool.bytes.size()) {
    ssize_t n = ::getrandom(pool.bytes.data() + filled, pool.bytes.size() - filled, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    filled += static_cast<std::size_t>(n);
  }
  pool.used = 0;
  pool.generation = forkGeneration.load();
  return true;
}

}  // namespace

QSUUID QSUUID::random() {
  thread_local RandomPool pool;
  QSUUID id;
  bool fresh = pool.used + id.bytes_.size() <= pool.bytes.size() && pool.generation == forkGeneration.load();
  if (!fresh && !refill(pool)) {
    uuid_generate_random(id.bytes_.data());
    return id;
  }
  std::memcpy(id.bytes_.data(), pool.bytes.data() + pool.used, id.bytes_.size());
  pool.used += id.bytes_.size();
  id.bytes_[6] = static_cast<std::uint8_t>((id.bytes_[6] & 0x0F) | 0x40);  // version 4
  id.bytes_[8] = static_cast<std::uint8_t>((id.bytes_[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return id;
}

// Hyphens sit at these offsets of the 36-character text form; hex digits everywhere else.
// Status answers carry hundreds of ids, so both directions are written out by hand.
static constexpr bool isHyphenOffset(std::size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

std::optional<QSUUID> QSUUID::parse(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  QSUUID id;
  std::size_t byte = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (isHyphenOffset(i)) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    int high = hexDigitValue(text[i]), low = hexDigitValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    id.bytes_[byte++] = static_cast<std::uint8_t>(high << 4 | low);
    i += 2;
  }
  return id;
}

std::string QSUUID::string() const {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out(36, '-');
  std::size_t byte = 0;
  for (std::size_t i = 0; i < out.size();) {
    if (isHyphenOffset(i)) {
      ++i;
      continue;
    }
    out[i++] = hex[bytes_[byte] >> 4];
    out[i++] = hex[bytes_[byte++] & 0xF];
  }
  return out;
}

bool QSUUID::isNil() const { return *this == QSUUID(); }

}  // namespace qs

std::size_t std::hash<qs::QSUUID>::operator()(const qs::QSUUID& id) const noexcept {
  std::size_t h = 1469598103934665603ull;
  for (auto b : id.bytes()) h = (h ^ b) * 1099511628211ull;
  return h;
}

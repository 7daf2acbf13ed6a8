#include "core/platform/uuid.h"

#include <uuid/uuid.h>

#include <cctype>
#include <cstring>

namespace qs {

QSUUID QSUUID::random() {
  QSUUID id;
  uuid_generate_random(id.bytes_.data());
  return id;
}

std::optional<QSUUID> QSUUID::parse(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  char buffer[37];
  std::memcpy(buffer, text.data(), 36);
  buffer[36] = '\0';
  QSUUID id;
  if (uuid_parse(buffer, id.bytes_.data()) != 0) return std::nullopt;
  return id;
}

std::string QSUUID::string() const {
  char buffer[37];
  uuid_unparse_upper(bytes_.data(), buffer);
  return buffer;
}

bool QSUUID::isNil() const { return *this == QSUUID(); }

}  // namespace qs

std::size_t std::hash<qs::QSUUID>::operator()(const qs::QSUUID& id) const noexcept {
  std::size_t h = 1469598103934665603ull;
  for (auto b : id.bytes()) h = (h ^ b) * 1099511628211ull;
  return h;
}

#include "core/models/case_coding.h"

namespace qs::detail {

std::pair<const std::string&, const json&> singleCaseEntry(const json& in, std::string_view typeName) {
  if (!in.is_object()) throw QSDecodingError(std::string(typeName) + ": expected an object");
  // The count is checked before the name, so that an empty object and an object with a known
  // and an unknown case fail alike.
  if (in.size() != 1) throw QSDecodingError("Invalid number of keys found, expected one.");
  const auto& object = in.get_ref<const json::object_t&>();
  const auto& entry = *object.begin();
  return {entry.first, entry.second};
}

void throwUnknownCase(std::string_view typeName, const std::string& name) {
  throw QSDecodingError(std::string(typeName) + ": unknown case '" + name + "'");
}

}  // namespace qs::detail

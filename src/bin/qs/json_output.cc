#include "bin/qs/json_output.h"

#include <variant>

namespace qs {

void encodeJson(json& out, const QSSettingValueOutput& value, const QSCoder&) {
  std::visit([&out](const auto& v) { out = v; }, value.value);
}

}  // namespace qs

// One variable of a project's environment (written to its .env file).
#pragma once

#include "core/models/json_coding.h"

#include <optional>
#include <string>

namespace qs {

struct QSEnvironmentVariable {
  QSUUID id = QSUUID::random();
  std::string key;
  std::string value;
  std::optional<std::string> comment;  // written as "# " lines above the assignment
  bool isEnabled = true;               // false: written commented out, not passed to the server

  bool operator==(const QSEnvironmentVariable&) const = default;
};

void encodeJson(json& out, const QSEnvironmentVariable& value, const QSCoder& coder);
void decodeJson(const json& in, QSEnvironmentVariable& value, const QSCoder& coder);

}  // namespace qs

// One variable of a project's environment (written to its .env file).
#pragma once

#include "core/models/json_coding.h"

#include <optional>
#include <string>

namespace qs {

struct QSEnvironmentVariable {
  static constexpr std::string_view recordName = "QSEnvironmentVariable";
  QSUUID id = QSUUID::random();
  std::string key;
  std::string value;
  std::optional<std::string> comment;  // written as "# " lines above the assignment
  bool isEnabled = true;               // false: written commented out, not passed to the server

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id)
        .field("key", self.key)
        .field("value", self.value)
        .field("comment", self.comment)
        .field("isEnabled", self.isEnabled);
  }

  bool operator==(const QSEnvironmentVariable&) const = default;
};

}  // namespace qs

// The sidecar index of the mail folder: which project sent each message, for messages that a
// project server started by Quayside sent. The message files themselves stay as received.
// Stored as "index.json" in the mail folder: {"<message UUID>": {"projectID": ..., "projectName": ...}}.
#pragma once

#include "core/models/json_coding.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qs {

// The project whose server sent a message, as it was named when the message came.
struct QSMailOrigin {
  static constexpr std::string_view recordName = "QSMailOrigin";
  QSUUID projectID;
  std::string projectName;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("projectID", self.projectID).field("projectName", self.projectName);
  }
  bool operator==(const QSMailOrigin&) const = default;
};

class QSMailIndex {
public:
  static constexpr std::string_view fileName = "index.json";

  // Reads the index of `folder`; an empty one when the file is missing or unreadable (entries
  // that do not decode are skipped).
  static QSMailIndex load(const std::filesystem::path& folder);

  std::optional<QSMailOrigin> origin(const QSUUID& message) const;
  void record(const QSUUID& message, QSMailOrigin origin) { origins_[message] = std::move(origin); }
  // Forgets messages; true when any was known.
  bool forget(const std::vector<QSUUID>& messages);
  std::size_t size() const { return origins_.size(); }

  // Writes the index atomically into `folder` (mode 0600). Throws QSSystemError.
  void save(const std::filesystem::path& folder) const;

private:
  std::map<QSUUID, QSMailOrigin> origins_;
};

}  // namespace qs

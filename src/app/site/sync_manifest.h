// The sync manifest of an exported project (".quayside/brindle-sync.json"): which files the
// exporter owns and the SHA-256 of each as generated, so re-sync can tell the user's edits apart.
#pragma once

#include "app/site/vapor_exporter.h"
#include "core/platform/timestamp.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qs {

struct QSVaporSyncManifest {
  int schemaVersion = 1;
  // Where the source document is: on Linux the bytes of its absolute path.
  std::optional<std::vector<std::uint8_t>> sourceBrpBookmark;
  QSTimestamp lastExportedAt{};
  bool hadForms = false;
  std::map<std::string, std::string> ownedFiles;  // relative path → lower-case hex SHA-256
};

namespace QSSyncManifest {

// ".quayside/brindle-sync.json"
inline constexpr std::string_view relativePath = ".quayside/brindle-sync.json";

// SHA-256 of every design file of the export, keyed by relative path.
std::map<std::string, std::string> ownedBaseline(const ExportedVaporProject& exported);

// Pretty-printed JSON with sorted keys and ISO 8601 dates, ending with a newline.
std::string encode(const QSVaporSyncManifest& manifest);
// Nothing when the text is not a manifest (bad JSON, or a required key missing or mistyped).
// Unknown keys are ignored.
std::optional<QSVaporSyncManifest> decode(std::string_view text);

// Reads the folder's manifest; nothing when it is missing or does not decode.
std::optional<QSVaporSyncManifest> read(const std::filesystem::path& projectFolder);
// Writes the folder's manifest, creating ".quayside" when needed.
void write(const std::filesystem::path& projectFolder, const QSVaporSyncManifest& manifest);

// The bookmark of a document (its absolute path) and the path a bookmark names.
std::vector<std::uint8_t> bookmark(const std::filesystem::path& document);
std::filesystem::path bookmarkedPath(const std::vector<std::uint8_t>& bookmark);

}  // namespace QSSyncManifest
}  // namespace qs

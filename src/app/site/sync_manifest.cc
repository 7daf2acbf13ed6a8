#include "app/site/sync_manifest.h"

#include "core/platform/encoding.h"
#include "core/platform/files.h"

#include <nlohmann/json.hpp>

namespace qs::QSSyncManifest {

std::map<std::string, std::string> ownedBaseline(const ExportedVaporProject& exported) {
  std::map<std::string, std::string> baseline;
  for (const auto& file : exported.files)
    if (file.role == FileRole::design) baseline[file.relativePath] = sha256Hex(file.content);
  return baseline;
}

std::string encode(const QSVaporSyncManifest& manifest) {
  nlohmann::json json = {
      {"schemaVersion", manifest.schemaVersion},
      {"lastExportedAt", QSTime::iso8601(manifest.lastExportedAt)},
      {"hadForms", manifest.hadForms},
      {"ownedFiles", manifest.ownedFiles},
  };
  if (manifest.sourceBrpBookmark) json["sourceBrpBookmark"] = base64Encode(*manifest.sourceBrpBookmark);
  return json.dump(2) + "\n";
}

std::optional<QSVaporSyncManifest> decode(std::string_view text) {
  nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return std::nullopt;
  auto version = json.find("schemaVersion");
  auto date = json.find("lastExportedAt");
  auto forms = json.find("hadForms");
  auto owned = json.find("ownedFiles");
  if (version == json.end() || !version->is_number_integer()) return std::nullopt;
  if (date == json.end() || !date->is_string() || forms == json.end() || !forms->is_boolean()) return std::nullopt;
  if (owned == json.end() || !owned->is_object()) return std::nullopt;
  QSVaporSyncManifest manifest;
  manifest.schemaVersion = version->get<int>();
  auto when = QSTime::parseISO8601(date->get<std::string>());
  if (!when) return std::nullopt;
  manifest.lastExportedAt = *when;
  manifest.hadForms = forms->get<bool>();
  for (const auto& [path, hash] : owned->items()) {
    if (!hash.is_string()) return std::nullopt;
    manifest.ownedFiles[path] = hash.get<std::string>();
  }
  if (auto mark = json.find("sourceBrpBookmark"); mark != json.end() && !mark->is_null()) {
    if (!mark->is_string()) return std::nullopt;
    auto bytes = base64Decode(mark->get<std::string>());
    if (!bytes) return std::nullopt;
    manifest.sourceBrpBookmark = std::move(*bytes);
  }
  return manifest;
}

std::optional<QSVaporSyncManifest> read(const std::filesystem::path& projectFolder) {
  auto text = readFileIfPresent(projectFolder / relativePath);
  if (!text) return std::nullopt;
  return decode(*text);
}

void write(const std::filesystem::path& projectFolder, const QSVaporSyncManifest& manifest) {
  createDirectories(projectFolder / ".quayside");
  writeFileAtomically(projectFolder / relativePath, encode(manifest));
}

std::vector<std::uint8_t> bookmark(const std::filesystem::path& document) {
  std::string path = std::filesystem::absolute(document).lexically_normal().string();
  return {path.begin(), path.end()};
}

std::filesystem::path bookmarkedPath(const std::vector<std::uint8_t>& bookmark) {
  return std::string(bookmark.begin(), bookmark.end());
}

}  // namespace qs::QSSyncManifest

#include "core/models/env_file_writer.h"

#include "core/models/dotenv.h"
#include "core/platform/files.h"
#include "core/platform/regex.h"
#include "core/platform/system_error.h"

#include <algorithm>
#include <cerrno>

namespace qs::QSEnvFileWriter {

namespace fs = std::filesystem;
namespace {

constexpr std::string_view kBackupPrefix = ".env.bak.";

// A missing file is "no file yet"; a file that exists but cannot be read is reported as an
// error, because writing over it would lose it without a backup.
struct Existing {
  std::optional<std::string> text;
  bool unreadable = false;
};

Existing readExisting(const fs::path& file) {
  try {
    return {readFile(file), false};
  } catch (const QSSystemError& error) {
    return {std::nullopt, error.code() != std::errc::no_such_file_or_directory};
  }
}

bool isBackupName(std::string_view name) {
  static const QSRegex pattern("\\.env\\.bak\\.[0-9]{8}-[0-9]{6}");
  return pattern.fullMatch(name);
}

// The stamps sort by name in time order, so the newest are the last.
void pruneBackups(const fs::path& folder, int keeping) {
  std::vector<std::string> backups;
  for (auto& name : tryListDirectory(folder))
    if (isBackupName(name)) backups.push_back(std::move(name));
  std::sort(backups.begin(), backups.end());
  std::size_t keep = static_cast<std::size_t>(std::max(keeping, 0));
  // A backup that cannot be removed is left for the next write to try again.
  for (std::size_t i = 0; i + keep < backups.size(); ++i) tryRemoveFile(folder / backups[i]);
}

void backUp(const fs::path& folder, std::string_view oldText, int keeping, QSTimestamp now) {
  // The new text is still worth writing when this fails; the user loses only this backup.
  tryWriteFileAtomically(folder / (std::string(kBackupPrefix) + QSTime::backupStampLocal(now)), oldText, 0600);
  pruneBackups(folder, keeping);
}

}  // namespace

bool write(const std::vector<QSEnvironmentVariable>& variables, const fs::path& projectFolder, int keepingBackups,
           QSTimestamp now) {
  fs::path file = projectFolder / ".env";
  // A write cut short (the daemon killed mid-way) leaves a temporary holding secrets behind.
  removeInterruptedWrites(projectFolder, [](std::string_view target) { return target == ".env" || isBackupName(target); });
  Existing existing = readExisting(file);
  if (existing.unreadable) return false;
  std::string merged = mergedDotenv(existing.text, variables);
  if (merged.empty()) return false;
  if (existing.text) {
    if (*existing.text == merged) return false;
    backUp(projectFolder, *existing.text, keepingBackups, now);
  }
  return !tryWriteFileAtomically(file, merged, 0600);
}

std::vector<QSEnvironmentVariable> handAddedVariables(const std::vector<QSEnvironmentVariable>& variables,
                                                      const fs::path& projectFolder) {
  auto text = readFileIfPresent(projectFolder / ".env");
  return text ? variablesWithNewKeys(*text, variables) : std::vector<QSEnvironmentVariable>{};
}

}  // namespace qs::QSEnvFileWriter

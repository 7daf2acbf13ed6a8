#include "core/models/swift_version_file.h"

#include "core/platform/files.h"
#include "core/platform/text.h"

namespace qs::QSSwiftVersionFile {
namespace {

}  // namespace

std::optional<std::string> read(const std::filesystem::path& projectRoot) {
  auto text = readFileIfPresent(projectRoot / filename);
  if (!text) return std::nullopt;
  std::string_view rest = *text;
  while (!rest.empty()) {
    auto end = rest.find_first_of("\r\n");
    std::string_view line = trimmed(rest.substr(0, end), kBlanks);
    if (!line.empty()) return std::string(line);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return std::nullopt;
}

bool sync(const std::optional<std::string>& version, const std::filesystem::path& projectRoot) {
  auto file = projectRoot / filename;
  if (version && !version->empty()) {
    if (read(projectRoot) == *version) return false;
    // Reported as attempted: the caller only needs to know that the file was out of step.
    tryWriteFileAtomically(file, *version + "\n");
    return true;
  }
  if (!fileExists(file)) return false;
  tryRemoveFile(file);
  return true;
}

}  // namespace qs::QSSwiftVersionFile

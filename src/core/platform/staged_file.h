// A write in two steps, for work that must put many files in place or none of them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace qs {

// The constructor writes `contents` to a temporary sibling of `path` and syncs it (with the
// permissions writeFileAtomically gives); commit() renames it over the target and syncs the
// folder. A staged file never committed is removed when it goes, and the temporary's name is
// one removeInterruptedWrites knows. Throws QSSystemError as the writes of files.h do.
class QSStagedFile {
public:
  QSStagedFile(std::filesystem::path path, std::string_view contents, mode_t newFileMode = 0644);
  ~QSStagedFile();
  QSStagedFile(QSStagedFile&& other) noexcept;
  QSStagedFile& operator=(QSStagedFile&&) = delete;
  QSStagedFile(const QSStagedFile&) = delete;
  QSStagedFile& operator=(const QSStagedFile&) = delete;

  void commit();
  const std::filesystem::path& path() const { return path_; }

private:
  std::filesystem::path path_;
  std::string temporary_;  // empty once committed or moved from
};

}  // namespace qs

// The font files an export copies into the project: the fonts of the font table, looked up among
// the fonts installed on this machine (the Debian font packages install them under
// /usr/share/fonts).
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

class QSFontLibrary {
public:
  // Indexes the ".ttf" files below `folders` (missing folders are skipped).
  explicit QSFontLibrary(const std::vector<std::filesystem::path>& folders);

  // The folders of $QS_FONT_DIRS (separated by ":"), else /usr/share/fonts,
  // /usr/local/share/fonts and ~/.local/share/fonts; indexed once per process.
  static const QSFontLibrary& system();

  // The installed file for a font table file name such as "Inter" or "JetBrainsMono": the first
  // of "<name>.ttf", "<name>-Regular.ttf", "<name>.var.ttf", "<name>-roman.var.ttf",
  // "<name>[wght].ttf" and "<name>-VariableFont_wght.ttf" that is installed; nothing when none is.
  std::optional<std::filesystem::path> find(std::string_view fileName) const;

private:
  std::map<std::string, std::filesystem::path> files_;  // file name → first path found
};

}  // namespace qs

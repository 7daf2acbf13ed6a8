#include "app/site/site_fonts.h"

#include "core/platform/paths.h"
#include "core/platform/process_environment.h"

#include <algorithm>

namespace qs {

QSFontLibrary::QSFontLibrary(const std::vector<std::filesystem::path>& folders) {
  namespace fs = std::filesystem;
  for (const auto& folder : folders) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) continue;
    std::vector<fs::path> found;
    auto options = fs::directory_options::skip_permission_denied;
    for (fs::recursive_directory_iterator it(folder, options, error), end; !error && it != end; it.increment(error)) {
      if (it->path().extension() == ".ttf") found.push_back(it->path());
    }
    // Directory order is arbitrary; sorting makes the choice the same on every run.
    std::sort(found.begin(), found.end());
    for (const auto& path : found) files_.emplace(path.filename().string(), path);
  }
}

const QSFontLibrary& QSFontLibrary::system() {
  static const QSFontLibrary library = [] {
    std::vector<std::filesystem::path> folders;
    if (auto dirs = environmentValue("QS_FONT_DIRS")) {
      const std::string& text = *dirs;
      std::size_t start = 0;
      while (start <= text.size()) {
        auto end = text.find(':', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) folders.emplace_back(text.substr(start, end - start));
        start = end + 1;
      }
    } else {
      folders = {"/usr/share/fonts", "/usr/local/share/fonts", QSPaths::home() / ".local/share/fonts"};
    }
    return QSFontLibrary(folders);
  }();
  return library;
}

std::optional<std::filesystem::path> QSFontLibrary::find(std::string_view fileName) const {
  std::string name(fileName);
  for (const auto& candidate : {name + ".ttf", name + "-Regular.ttf", name + ".var.ttf", name + "-roman.var.ttf",
                                name + "[wght].ttf", name + "-VariableFont_wght.ttf"}) {
    if (auto found = files_.find(candidate); found != files_.end()) return found->second;
  }
  return std::nullopt;
}

}  // namespace qs

#include "core/daemon/desktop_entries.h"

#include "core/daemon/desktop_entry.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"

namespace qs::QSDesktopEntries {
namespace {

namespace fs = std::filesystem;

std::string entryName() { return std::string(applicationID) + ".desktop"; }

// Ours: app.brindle.Quayside.png, .svg, … but not app.brindle.QuaysideBeta.png.
bool isOurIcon(const fs::path& name) { return name.stem() == applicationID && !name.extension().empty(); }

}  // namespace

fs::path launcherEntry() { return QSPaths::dataHome() / "applications" / entryName(); }

fs::path autostartEntry() { return QSPaths::configHome() / "autostart" / entryName(); }

std::vector<fs::path> installedIcons() {
  fs::path theme = QSPaths::dataHome() / "icons" / "hicolor";
  std::vector<fs::path> icons;
  for (const auto& size : tryListDirectory(theme))
    for (const auto& name : tryListDirectory(theme / size / "apps"))
      if (isOurIcon(name)) icons.push_back(theme / size / "apps" / name);
  return icons;
}

std::vector<fs::path> remove() {
  std::vector<fs::path> candidates{launcherEntry()};
  for (auto& icon : installedIcons()) candidates.push_back(std::move(icon));
  candidates.push_back(autostartEntry());
  candidates.push_back(QSDesktopEntry::mimePackagePath());
  std::vector<fs::path> removed;
  for (const auto& path : candidates)
    if (removeFile(path)) removed.push_back(path);
  return removed;
}

}  // namespace qs::QSDesktopEntries

// The desktop application's places in the user's desktop: its launcher entry, its icons in the
// hicolor theme and its login item (an XDG autostart entry).
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace qs::QSDesktopEntries {

// The application's id: the entries' and icons' file name without the extension.
inline constexpr std::string_view applicationID = "app.brindle.Quayside";

// $XDG_DATA_HOME/applications/app.brindle.Quayside.desktop
std::filesystem::path launcherEntry();
// $XDG_CONFIG_HOME/autostart/app.brindle.Quayside.desktop
std::filesystem::path autostartEntry();
// The application's icons that exist: $XDG_DATA_HOME/icons/hicolor/<size>/apps/
// app.brindle.Quayside.<extension>, sizes in the order the folder lists them.
std::vector<std::filesystem::path> installedIcons();

// Removes the launcher entry, the icons and the autostart entry where they exist and returns
// the paths removed. Throws QSSystemError when one cannot be removed (those before it stay
// removed).
std::vector<std::filesystem::path> remove();

}  // namespace qs::QSDesktopEntries

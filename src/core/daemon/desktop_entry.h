// The desktop app's menu entry and icon, where freedesktop.org desktops look for them:
// $XDG_DATA_HOME/applications and $XDG_DATA_HOME/icons/hicolor/<size>/apps.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qs {

namespace QSDesktopIcons {
// The icon's drawing and its renderings, built into the program.
std::string_view svg();
std::string_view png16();
std::string_view png32();
std::string_view png48();
std::string_view png64();
std::string_view png128();
std::string_view png256();
}  // namespace QSDesktopIcons

namespace QSDesktopEntry {

constexpr std::string_view fileName = "app.brindle.Quayside.desktop";
constexpr std::string_view iconName = "app.brindle.Quayside";

// The type of site documents (*.brp), which the entry says the app opens, as folders.
constexpr std::string_view documentType = "application/x-brp";

// The entry's text for the app at `executable` (an absolute path).
std::string text(const std::filesystem::path& executable);
// $XDG_DATA_HOME/applications/app.brindle.Quayside.desktop
std::filesystem::path entryPath();
// $XDG_DATA_HOME/mime/packages/app.brindle.Quayside.xml: the shared-mime-info package that
// gives *.brp files their type.
std::filesystem::path mimePackagePath();
std::string mimePackageText();
// Whether the entry exists and starts `executable`, and the type package is in place.
bool isInstalledFor(const std::filesystem::path& executable);
// Writes the entry, the type package and the icon (SVG and PNG sizes 16 to 256), each file
// atomically, and has update-mime-database (when installed) rebuild the user's type database;
// returns the entry's path. Throws QSSystemError when a folder or file cannot be written.
std::filesystem::path install(const std::filesystem::path& executable);

}  // namespace QSDesktopEntry
}  // namespace qs

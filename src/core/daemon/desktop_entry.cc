#include "core/daemon/desktop_entry.h"

#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/process_runner.h"

#include <utility>

namespace qs::QSDesktopEntry {
namespace {

namespace fs = std::filesystem;

// The Exec key quotes arguments with double quotes and escapes ", `, $ and \ inside them.
std::string quotedExec(const fs::path& executable) {
  std::string out = "\"";
  for (char c : executable.string()) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string text(const fs::path& executable) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Quayside\n"
         "GenericName=Local Web Development\n"
         "Comment=Run Vapor projects with their databases, .test domains and mail\n"
         "Exec=" + quotedExec(executable) + " %F\n"
         "Icon=" + std::string(iconName) + "\n"
         "Terminal=false\n"
         "Categories=Development;WebDevelopment;\n"
         "Keywords=vapor;swift;server;database;\n"
         "MimeType=" + std::string(documentType) + ";inode/directory;\n"
         "StartupWMClass=quayside-app\n"
         "StartupNotify=true\n";
}

fs::path entryPath() { return QSPaths::dataHome() / "applications" / std::string(fileName); }

fs::path mimePackagePath() { return QSPaths::dataHome() / "mime" / "packages" / (std::string(iconName) + ".xml"); }

std::string mimePackageText() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
         "  <mime-type type=\"" + std::string(documentType) + "\">\n"
         "    <comment>Site document</comment>\n"
         "    <glob pattern=\"*.brp\"/>\n"
         "  </mime-type>\n"
         "</mime-info>\n";
}

bool isInstalledFor(const fs::path& executable) {
  std::optional<std::string> current = readFileIfPresent(entryPath());
  std::optional<std::string> types = readFileIfPresent(mimePackagePath());
  return current && *current == text(executable) && types && *types == mimePackageText();
}

fs::path install(const fs::path& executable) {
  fs::path icons = QSPaths::dataHome() / "icons" / "hicolor";
  std::string name(iconName);
  const std::pair<const char*, std::string_view> renderings[] = {
      {"16x16", QSDesktopIcons::png16()},   {"32x32", QSDesktopIcons::png32()},
      {"48x48", QSDesktopIcons::png48()},   {"64x64", QSDesktopIcons::png64()},
      {"128x128", QSDesktopIcons::png128()}, {"256x256", QSDesktopIcons::png256()},
  };
  for (const auto& [size, bytes] : renderings) {
    createDirectories(icons / size / "apps");
    writeFileAtomically(icons / size / "apps" / (name + ".png"), bytes);
  }
  createDirectories(icons / "scalable" / "apps");
  writeFileAtomically(icons / "scalable" / "apps" / (name + ".svg"), QSDesktopIcons::svg());
  createDirectories(mimePackagePath().parent_path());
  writeFileAtomically(mimePackagePath(), mimePackageText());
  if (findExecutable("update-mime-database")) {
    try {
      runProcess({"update-mime-database", (QSPaths::dataHome() / "mime").string()});
    } catch (const std::exception&) {
      // The type database catches up the next time anything rebuilds it.
    }
  }
  createDirectories(entryPath().parent_path());
  writeFileAtomically(entryPath(), text(executable));
  return entryPath();
}

}  // namespace qs::QSDesktopEntry

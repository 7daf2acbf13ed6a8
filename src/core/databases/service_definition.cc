#include "core/databases/service_definition.h"

#include <fmt/format.h>

namespace qs {

std::string QSServiceDefinition::displayVersion() const {
  std::string name(displayName(type));
  return version.empty() ? name : name + " " + version;
}

std::string QSServiceDefinition::formattedSize() const {
  if (archiveFormat == QSArchiveFormat::system || compressedSize <= 0) return "";
  // Decimal units, as file sizes are shown to users.
  double size = static_cast<double>(compressedSize);
  const char* units[] = {"bytes", "KB", "MB", "GB"};
  int unit = 0;
  while (size >= 1000 && unit < 3) {
    size /= 1000;
    ++unit;
  }
  if (unit == 0) return fmt::format("{} bytes", compressedSize);
  return size < 10 ? fmt::format("{:.1f} {}", size, units[unit]) : fmt::format("{:.0f} {}", size, units[unit]);
}

}  // namespace qs

// Installing engines: downloading an archive (libcurl, streamed to a file), checking its SHA-256,
// unpacking it with tar or building it from source with make, or, for a system engine, linking
// the OS's binaries into the install folder. The registry is not touched here: the caller
// registers what install returns.
#pragma once

#include "core/databases/service_catalogue.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace qs {

class QSServiceDownloader {
public:
  // Receives the fraction downloaded, 0…1.
  using Progress = std::function<void(double)>;

  // Installs into `servicesRoot`/ID, downloads into `downloadsRoot`.
  QSServiceDownloader(std::filesystem::path servicesRoot, std::filesystem::path downloadsRoot,
                      QSSystemEngines system = QSSystemEngines());
  // services/ and downloads/ of the data folder.
  static QSServiceDownloader forDataRoot(const std::filesystem::path& dataRoot,
                                         QSSystemEngines system = QSSystemEngines());

  // Installs the engine and returns its install folder (which a previous install of the same id
  // is replaced by). Blocks; throws QSServiceDownloadException (download, checksum, unpacking,
  // a missing system package) or QSSystemError (file system).
  std::filesystem::path install(const QSServiceDefinition& definition, const Progress& progress = {});
  // Removes the install folder of `id`, when there is one.
  void uninstall(const std::string& id);
  // The install folder of `id`, when it exists.
  std::optional<std::filesystem::path> installPath(const std::string& id) const;

private:
  std::filesystem::path download(const QSServiceDefinition& definition, const Progress& progress);
  void linkSystemEngine(const QSServiceDefinition& definition, const std::filesystem::path& destination);
  void extract(const std::filesystem::path& archive, const std::filesystem::path& destination, bool xz);
  void buildFromSource(const QSServiceDefinition& definition, const std::filesystem::path& archive,
                       const std::filesystem::path& destination);

  std::filesystem::path servicesRoot_;
  std::filesystem::path downloadsRoot_;
  QSSystemEngines system_;
};

// The SHA-256 of a file's contents as lower-case hexadecimal, read in pieces. Throws
// QSSystemError when it cannot be read.
std::string fileSHA256(const std::filesystem::path& file);

}  // namespace qs

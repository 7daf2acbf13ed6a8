// Turning a project folder into one archive: a gzip-compressed tar for upload to the hosting
// service, or a zip the user keeps. Both run the system's own archivers as child processes and
// leave build products and version-control data out.
#pragma once

#include "core/models/case_coding.h"
#include "core/platform/error_exception.h"

#include <asio/awaitable.hpp>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qs {

// Cases of QSPackagingError.
namespace packagingError {
using NotADirectory = QSUnnamedCase<"notADirectory", std::string>;  // the path
using TarFailed = QSUnnamedCase<"tarFailed", int>;                  // tar's exit status
using ZipFailed = QSUnnamedCase<"zipFailed", int>;                  // zip's exit status
using MissingPackageManifest = QSEmptyCase<"missingPackageManifest">;
}  // namespace packagingError

// Why an archive could not be made, e.g. QSPackagingError(packagingError::TarFailed{2}).message()
// == "Packaging failed (tar exited with code 2).".
struct QSPackagingError : QSEnumeration<packagingError::NotADirectory, packagingError::TarFailed,
                                        packagingError::ZipFailed, packagingError::MissingPackageManifest> {
  using QSEnumeration::QSEnumeration;
  // The text the user sees.
  std::string message() const;
};
using QSPackagingException = QSErrorException<QSPackagingError>;

class QSProjectPackager {
public:
  // ".git", ".build", ".DS_Store", ".swiftpm", in that order: what every caller leaves out.
  static const std::vector<std::string> defaultExcludes;

  // The archivers, by absolute path; tests may point them elsewhere.
  std::filesystem::path tarExecutable = "/usr/bin/tar";
  std::filesystem::path zipExecutable = "/usr/bin/zip";

  // Writes `projectFolder` (which must be a folder holding Package.swift) as
  // "<folder name>-<UUID>.tar.gz" into `outputDirectory` (created when missing; default: a new
  // folder of its own, mode 0700, in the temporary folder) and returns the archive's path. The
  // archive is private (0600): it may hold the project's .env. A file or folder whose name
  // matches an exclude pattern is left out at any depth, and so are sockets, FIFOs and devices
  // (specialEntries); symbolic links are stored as links, never followed. Throws
  // QSPackagingException (notADirectory, missingPackageManifest, tarFailed), QSSystemError when
  // tar cannot be started or the output folder cannot be made. When tar fails, what it wrote is
  // removed; the archive it returns is the caller's to delete (discard() does it).
  asio::awaitable<std::filesystem::path> package(const std::filesystem::path& projectFolder,
                                                 const std::vector<std::string>& excludes,
                                                 std::optional<std::filesystem::path> outputDirectory = std::nullopt) const;

  // Writes `projectFolder` as the zip file `destination`, replacing any file there. Entries
  // whose path has a component matching an exclude pattern are left out at any depth, and so
  // are sockets, FIFOs and devices; symbolic links are stored as links. Throws
  // QSPackagingException (notADirectory, missingPackageManifest, zipFailed) or QSSystemError
  // when zip cannot be started.
  asio::awaitable<void> exportZip(const std::filesystem::path& projectFolder, const std::filesystem::path& destination,
                                  const std::vector<std::string>& excludes) const;

  // Removes an archive package() wrote, with the private folder it made for it.
  static void discard(const std::filesystem::path& archive);

  // What no archive can hold: the sockets, FIFOs and device files in `projectFolder` outside
  // the excluded names, as paths relative to it ("run/app.sock"), sorted.
  static std::vector<std::string> specialEntries(const std::filesystem::path& projectFolder,
                                                 const std::vector<std::string>& excludes);

  // The arguments (after the program's name) of the two archivers, in order; `skipped` are
  // relative paths left out as they are written (no pattern).
  static std::vector<std::string> tarArguments(const std::filesystem::path& archive,
                                               const std::filesystem::path& projectFolder,
                                               const std::vector<std::string>& excludes,
                                               const std::vector<std::string>& skipped = {});
  static std::vector<std::string> zipArguments(const std::filesystem::path& destination,
                                               const std::vector<std::string>& excludes,
                                               const std::vector<std::string>& skipped = {});

private:
  // Runs an archiver to its end without blocking the loop; its exit status.
  asio::awaitable<int> runArchiver(const std::filesystem::path& program, std::vector<std::string> arguments,
                                   const std::filesystem::path& workingDirectory) const;
};

}  // namespace qs

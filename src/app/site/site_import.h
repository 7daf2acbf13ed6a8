// Writing an export into a project folder, and importing a document as a new project.
#pragma once

#include "app/site/vapor_exporter.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace qs {

// The path of `relativePath` inside `folder`, or nothing when the path could lead elsewhere:
// empty, absolute, with a "." or ".." component, or resolving (through symbolic links already on
// disk) to a place outside the folder. When the path cannot be resolved at all (a name too long
// for the file system, a folder that cannot be read), nothing too, and `resolveError` (when
// given) says why.
std::optional<std::filesystem::path> pathInsideProject(const std::filesystem::path& folder,
                                                       std::string_view relativePath,
                                                       std::error_code* resolveError = nullptr);

// Writes every file under `folder`, creating intermediate folders. A file whose path would leave
// the folder is not written and throws QSSiteException (outsideProject); write failures throw QSSystemError.
// Into a folder that already holds files the user sees, each file is replaced atomically; a
// `freshFolder` (one this export just created) is filled with plain writes that never follow a
// symbolic link.
void writeExportedFiles(const std::filesystem::path& folder, const std::vector<ExportedFile>& files,
                        bool freshFolder = false);

struct QSSiteImportRequest {
  std::filesystem::path document;               // the .brp file
  std::string name;                             // what the user typed; empty for the file name
  std::filesystem::path projectsFolder;         // ~/Quayside
  std::vector<std::string> existingProjectNames;  // names the new one must differ from
};

struct QSSiteImportResult {
  std::string name;
  std::filesystem::path folder;
  ExportedVaporProject exported;
};

// The project name for an import: the typed name trimmed of spaces and tabs, else the
// document's file name without extension, through sanitizedProjectName, then made unique among
// `existing` (case-insensitively) by appending "-2", "-3", ….
std::string importProjectName(const std::string& typed, const std::filesystem::path& document,
                              const std::vector<std::string>& existing);

// Reads and decodes the document (nothing is written when that fails), creates the projects
// folder and the new project folder (QSSiteException folderExists when it is taken), writes every
// exported file and the sync manifest with the document's bookmark. When writing fails the new
// folder is removed again, so that a retry finds the name free.
QSSiteImportResult importSiteDocument(const QSSiteImportRequest& request,
                                      const QSFontLibrary& fonts = QSFontLibrary::system(),
                                      QSExportLog log = {});

struct QSSiteExportRequest {
  std::filesystem::path document;  // the .brp file
  std::filesystem::path folder;    // where the project goes; its name is the package name
  bool force = false;              // write over whatever the folder holds
};

// Exports the document into a folder (created when missing) with its sync manifest. Unless
// `force`, a folder that holds anything is refused before anything is written:
// QSSiteException alreadyExported when it has a sync manifest (re-sync keeps the user's code),
// folderNotEmpty otherwise. A folder this call created is removed when writing fails.
ExportedVaporProject exportSiteDocument(const QSSiteExportRequest& request,
                                        const QSFontLibrary& fonts = QSFontLibrary::system(),
                                        QSExportLog log = {});

}  // namespace qs

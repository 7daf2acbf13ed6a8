#include "app/site/site_import.h"

#include "app/site/pages_decoding.h"
#include "app/site/site_error.h"
#include "app/site/sync_manifest.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/plain_file.h"
#include "core/platform/system_error.h"
#include "core/platform/text.h"

#include <algorithm>
#include <stdexcept>

namespace qs {
namespace {

namespace fs = std::filesystem;

bool within(const fs::path& root, const fs::path& path) {
  auto r = root.begin(), p = path.begin();
  for (; r != root.end(); ++r, ++p) {
    if (r->empty() && std::next(r) == root.end()) break;  // a trailing "/" of the root
    if (p == path.end() || *p != *r) return false;
  }
  return true;
}

// A folder an import or export created, removed again (with what was written into it) unless
// the work finished: a half-written project would block the retry.
class RemovedUnlessKept {
public:
  explicit RemovedUnlessKept(fs::path folder) : folder_(std::move(folder)) {}
  RemovedUnlessKept(const RemovedUnlessKept&) = delete;
  RemovedUnlessKept& operator=(const RemovedUnlessKept&) = delete;
  ~RemovedUnlessKept() {
    std::error_code ignored;
    if (!folder_.empty()) fs::remove_all(folder_, ignored);
  }
  void keep() { folder_.clear(); }

private:
  fs::path folder_;
};

// Writes the exported files and the sync manifest, which names `document` as the source.
void writeProject(const fs::path& folder, const ExportedVaporProject& exported, const fs::path& document,
                  bool fresh) {
  writeExportedFiles(folder, exported.files, fresh);
  QSVaporSyncManifest manifest;
  manifest.sourceBrpBookmark = QSSyncManifest::bookmark(document);
  manifest.lastExportedAt = QSTime::now();
  manifest.hadForms = exported.hasForms;
  manifest.ownedFiles = QSSyncManifest::ownedBaseline(exported);
  QSSyncManifest::write(folder, manifest);
}

}  // namespace

std::optional<fs::path> pathInsideProject(const fs::path& folder, std::string_view relativePath,
                                          std::error_code* resolveError) {
  if (relativePath.empty() || relativePath.front() == '/') return std::nullopt;
  fs::path relative(relativePath);
  for (const auto& part : relative)
    if (part == ".." || part == "." || part.empty()) return std::nullopt;
  std::error_code error;
  fs::path root = fs::weakly_canonical(folder, error);
  if (error) {
    if (resolveError) *resolveError = error;
    return std::nullopt;
  }
  fs::path full = folder / relative;
  fs::path resolved = fs::weakly_canonical(full, error);
  if (error) {
    if (resolveError) *resolveError = error;
    return std::nullopt;
  }
  if (!within(root, resolved)) return std::nullopt;
  return full;
}

void writeExportedFiles(const fs::path& folder, const std::vector<ExportedFile>& files, bool freshFolder) {
  for (const auto& file : files) {
    std::error_code resolveError;
    auto path = pathInsideProject(folder, file.relativePath, &resolveError);
    if (!path && resolveError)
      throwSystemError("write " + (folder / file.relativePath).string(), resolveError.value());
    if (!path) throw QSSiteException(siteError::OutsideProject{file.relativePath});
    createDirectories(path->parent_path());
    if (freshFolder)
      writePlainFile(*path, file.content);
    else
      writeFileAtomically(*path, file.content);
  }
}

std::string importProjectName(const std::string& typed, const fs::path& document,
                              const std::vector<std::string>& existing) {
  auto first = typed.find_first_not_of(" \t");
  auto last = typed.find_last_not_of(" \t");
  std::string base = first == std::string::npos ? document.stem().string() : typed.substr(first, last - first + 1);
  base = sanitizedProjectName(base);
  auto taken = [&](const std::string& name) {
    return std::any_of(existing.begin(), existing.end(), [&](const std::string& e) { return asciiLowercased(e) == name; });
  };
  std::string name = base;
  for (int n = 2; taken(name); ++n) name = base + "-" + std::to_string(n);
  return name;
}

QSSiteImportResult importSiteDocument(const QSSiteImportRequest& request, const QSFontLibrary& fonts,
                                      QSExportLog log) {
  QSPagesProject document = readPagesDocument(request.document);
  createDirectories(request.projectsFolder);
  QSSiteImportResult result;
  result.name = importProjectName(request.name, request.document, request.existingProjectNames);
  result.folder = request.projectsFolder / result.name;
  if (!createDirectory(result.folder)) {
    bool usual = request.projectsFolder == QSPaths::projectsFolder();
    throw QSSiteException(
        siteError::FolderExists{result.name, usual ? "~/Quayside" : request.projectsFolder.string()});
  }
  RemovedUnlessKept created(result.folder);
  result.exported = QSVaporExporter(fonts, std::move(log)).exportProject(document, result.name);
  writeProject(result.folder, result.exported, request.document, true);
  created.keep();
  return result;
}

ExportedVaporProject exportSiteDocument(const QSSiteExportRequest& request, const QSFontLibrary& fonts,
                                        QSExportLog log) {
  QSPagesProject document = readPagesDocument(request.document);
  bool existed = fileExists(request.folder);
  bool empty = !existed || listDirectory(request.folder).empty();
  if (!request.force && QSSyncManifest::read(request.folder))
    throw QSSiteException(siteError::AlreadyExported{request.folder.string()});
  if (!request.force && !empty) throw QSSiteException(siteError::FolderNotEmpty{request.folder.string()});
  createDirectories(request.folder);
  RemovedUnlessKept created(existed ? fs::path() : request.folder);
  ExportedVaporProject exported =
      QSVaporExporter(fonts, std::move(log)).exportProject(document, request.folder.filename().string());
  writeProject(request.folder, exported, request.document, empty);
  created.keep();
  return exported;
}

}  // namespace qs

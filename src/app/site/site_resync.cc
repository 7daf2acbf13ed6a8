#include "app/site/site_resync.h"

#include "app/site/site_error.h"
#include "app/site/site_import.h"
#include "core/platform/encoding.h"
#include "core/platform/file_status.h"
#include "core/platform/files.h"
#include "core/platform/staged_file.h"

#include <algorithm>
#include <iterator>
#include <set>

#include <unistd.h>

namespace qs {
namespace {

bool contains(const std::vector<std::string>& list, const std::string& item) {
  return std::binary_search(list.begin(), list.end(), item);
}

const ExportedFile* exportedFile(const ExportedVaporProject& exported, const std::string& path) {
  const ExportedFile* found = nullptr;
  // The last file of a path wins, as it does when the export is written.
  for (const auto& file : exported.files)
    if (file.relativePath == path) found = &file;
  return found;
}

// Whether a file of the new export that the manifest does not own exists on disk as something
// else than what the export would write: then it is the user's, not a leftover of ours.
bool isUsersOwn(const std::filesystem::path& onDisk, const ExportedFile& file) {
  if (!fileExists(onDisk) && !isSymbolicLink(onDisk)) return false;
  auto bytes = readFileIfPresent(onDisk);
  return !bytes || *bytes != file.content;
}

// Folders made for new files, removed again (those still empty, deepest first) unless kept.
class MadeFolders {
public:
  MadeFolders() = default;
  MadeFolders(const MadeFolders&) = delete;
  MadeFolders& operator=(const MadeFolders&) = delete;
  ~MadeFolders() {
    std::sort(made_.begin(), made_.end(), [](const auto& a, const auto& b) {
      return std::distance(a.begin(), a.end()) > std::distance(b.begin(), b.end());
    });
    for (const auto& folder : made_) ::rmdir(folder.c_str());
  }
  void make(const std::filesystem::path& folder) {
    for (auto at = folder; !at.empty() && at != at.parent_path() && !isDirectory(at); at = at.parent_path())
      made_.push_back(at);
    createDirectories(folder);
  }
  void keep() { made_.clear(); }

private:
  std::vector<std::filesystem::path> made_;
};

}  // namespace

QSResyncPlan planResync(const QSPagesProject& document, const std::filesystem::path& folder,
                        const QSFontLibrary& fonts, QSExportLog log) {
  auto manifest = QSSyncManifest::read(folder);
  if (!manifest) throw QSSiteException(siteError::NotASyncedProject{});
  QSResyncPlan plan;
  plan.directory = folder;
  plan.previousManifest = *manifest;
  plan.sourceBrpBookmark = manifest->sourceBrpBookmark;
  plan.exported = QSVaporExporter(fonts, std::move(log)).exportProject(document, "QuaysideSite");

  std::set<std::string> design;
  for (const auto& file : plan.exported.files) {
    if (!pathInsideProject(folder, file.relativePath)) {
      plan.refused.push_back(file.relativePath);
      continue;
    }
    if (file.role == FileRole::design) {
      design.insert(file.relativePath);
      if (!manifest->ownedFiles.count(file.relativePath) && isUsersOwn(folder / file.relativePath, file))
        plan.unownedConflicts.push_back(file.relativePath);
    } else if (!fileExists(folder / file.relativePath)) {
      plan.scaffoldAdditions.push_back(file.relativePath);
    }
  }
  for (const auto& [path, hash] : manifest->ownedFiles) {
    auto onDisk = pathInsideProject(folder, path);
    if (!onDisk) {
      plan.refused.push_back(path);
      continue;
    }
    if (auto bytes = readFileIfPresent(*onDisk); bytes && sha256Hex(*bytes) != hash) plan.conflicts.push_back(path);
    if (!design.count(path)) plan.prunes.push_back(path);
  }
  plan.designUpdates.assign(design.begin(), design.end());
  plan.structuralChangeNeeded = plan.exported.hasForms != manifest->hadForms;
  for (auto* list : {&plan.conflicts, &plan.unownedConflicts, &plan.designUpdates, &plan.prunes,
                     &plan.scaffoldAdditions, &plan.refused}) {
    std::sort(list->begin(), list->end());
    list->erase(std::unique(list->begin(), list->end()), list->end());
  }
  return plan;
}

QSResyncReport applyResync(const QSResyncPlan& plan, QSResyncPolicy policy, const QSResyncApplyOptions& options) {
  QSResyncReport report;
  report.refused = plan.refused;
  auto keeps = [&](const std::string& path) {
    auto chosen = options.choices.find(path);
    return (chosen != options.choices.end() ? chosen->second : policy) == QSResyncPolicy::keepConflicts;
  };
  struct Write {
    std::string path;
    std::filesystem::path target;
    const ExportedFile* file;
    std::vector<std::string>* done;
  };
  std::vector<Write> writes;
  for (const auto& path : plan.designUpdates) {
    const ExportedFile* file = exportedFile(plan.exported, path);
    if (!file) continue;
    if (contains(plan.conflicts, path)) {
      if (keeps(path)) {
        report.skippedConflicts.push_back(path);
        continue;
      }
      report.overwrittenConflicts.push_back(path);
    } else if (contains(plan.unownedConflicts, path)) {
      if (keeps(path)) {
        report.keptUnowned.push_back(path);
        continue;
      }
      report.overwrittenUnowned.push_back(path);
    }
    // Checked again right before writing: the folder may have changed since planning.
    auto target = pathInsideProject(plan.directory, path);
    if (!target) {
      report.refused.push_back(path);
      continue;
    }
    writes.push_back({path, *target, file, &report.updated});
  }
  std::vector<std::pair<std::string, std::filesystem::path>> prunes;
  for (const auto& path : plan.prunes) {
    if (contains(plan.conflicts, path) && keeps(path)) {
      report.skippedConflicts.push_back(path);
      continue;
    }
    auto target = pathInsideProject(plan.directory, path);
    if (!target) {
      report.refused.push_back(path);
      continue;
    }
    prunes.emplace_back(path, *target);
  }
  for (const auto& path : plan.scaffoldAdditions) {
    const ExportedFile* file = exportedFile(plan.exported, path);
    auto target = pathInsideProject(plan.directory, path);
    if (file && target) writes.push_back({path, *target, file, &report.scaffoldAdded});
  }

  // Everything new is written aside first: until it all is, a cancel or a failure leaves the
  // project as it was.
  {
    MadeFolders folders;
    std::vector<QSStagedFile> staged;
    staged.reserve(writes.size());
    for (std::size_t i = 0; i <= writes.size(); ++i) {
      if (options.progress && !options.progress(i, writes.size())) {
        QSResyncReport cancelled;
        cancelled.cancelled = true;
        return cancelled;
      }
      if (i == writes.size()) break;
      folders.make(writes[i].target.parent_path());
      staged.emplace_back(writes[i].target, writes[i].file->content);
    }
    folders.keep();
    for (std::size_t i = 0; i < writes.size(); ++i) {
      staged[i].commit();
      writes[i].done->push_back(writes[i].path);
    }
  }
  for (const auto& [path, target] : prunes) {
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    report.pruned.push_back(path);
  }
  QSVaporSyncManifest manifest;
  manifest.sourceBrpBookmark = plan.sourceBrpBookmark;
  manifest.lastExportedAt = QSTime::now();
  manifest.hadForms = plan.exported.hasForms;
  manifest.ownedFiles = QSSyncManifest::ownedBaseline(plan.exported);
  // A kept file of the user's stays theirs: owning it would let a later prune delete it.
  for (const auto& path : report.keptUnowned) manifest.ownedFiles.erase(path);
  QSSyncManifest::write(plan.directory, manifest);
  report.structuralChangeNeeded = plan.structuralChangeNeeded;
  return report;
}

}  // namespace qs

#include "app/site/site_resync.h"

#include "app/site/site_error.h"
#include "app/site/site_import.h"
#include "core/platform/encoding.h"
#include "core/platform/files.h"

#include <algorithm>
#include <set>

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

}  // namespace

QSResyncPlan planResync(const QSPagesProject& document, const std::filesystem::path& folder, const QSFontLibrary& fonts) {
  auto manifest = QSSyncManifest::read(folder);
  if (!manifest) throw QSSiteError::notASyncedProject();
  QSResyncPlan plan;
  plan.directory = folder;
  plan.previousManifest = *manifest;
  plan.exported = QSVaporExporter(fonts).exportProject(document, "QuaysideSite");

  std::set<std::string> design;
  for (const auto& file : plan.exported.files) {
    if (!pathInsideProject(folder, file.relativePath)) {
      plan.refused.push_back(file.relativePath);
      continue;
    }
    if (file.role == FileRole::design) {
      design.insert(file.relativePath);
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
  for (auto* list : {&plan.conflicts, &plan.designUpdates, &plan.prunes, &plan.scaffoldAdditions, &plan.refused}) {
    std::sort(list->begin(), list->end());
    list->erase(std::unique(list->begin(), list->end()), list->end());
  }
  return plan;
}

QSResyncReport applyResync(const QSResyncPlan& plan, QSResyncPolicy policy) {
  QSResyncReport report;
  report.refused = plan.refused;
  bool keep = policy == QSResyncPolicy::keepConflicts;
  for (const auto& path : plan.designUpdates) {
    const ExportedFile* file = exportedFile(plan.exported, path);
    if (!file) continue;
    if (contains(plan.conflicts, path)) {
      if (keep) {
        report.skippedConflicts.push_back(path);
        continue;
      }
      report.overwrittenConflicts.push_back(path);
    }
    // Checked again right before writing: the folder may have changed since planning.
    auto target = pathInsideProject(plan.directory, path);
    if (!target) {
      report.refused.push_back(path);
      continue;
    }
    createDirectories(target->parent_path());
    writeFileAtomically(*target, file->content);
    report.updated.push_back(path);
  }
  for (const auto& path : plan.prunes) {
    if (keep && contains(plan.conflicts, path)) {
      report.skippedConflicts.push_back(path);
      continue;
    }
    auto target = pathInsideProject(plan.directory, path);
    if (!target) {
      report.refused.push_back(path);
      continue;
    }
    std::error_code ignored;
    std::filesystem::remove(*target, ignored);
    report.pruned.push_back(path);
  }
  for (const auto& path : plan.scaffoldAdditions) {
    const ExportedFile* file = exportedFile(plan.exported, path);
    auto target = pathInsideProject(plan.directory, path);
    if (!file || !target) continue;
    createDirectories(target->parent_path());
    writeFileAtomically(*target, file->content);
    report.scaffoldAdded.push_back(path);
  }
  QSVaporSyncManifest manifest;
  manifest.sourceBrpBookmark = plan.previousManifest.sourceBrpBookmark;
  manifest.lastExportedAt = QSTime::now();
  manifest.hadForms = plan.exported.hasForms;
  manifest.ownedFiles = QSSyncManifest::ownedBaseline(plan.exported);
  QSSyncManifest::write(plan.directory, manifest);
  report.structuralChangeNeeded = plan.structuralChangeNeeded;
  return report;
}

}  // namespace qs

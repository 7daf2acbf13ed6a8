// Re-sync: bringing a changed document into a project exported from it, without touching the
// user's code. Planning reads; applying writes under the user's conflict policy.
#pragma once

#include "app/site/sync_manifest.h"
#include "app/site/vapor_exporter.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qs {

struct QSResyncPlan {
  std::filesystem::path directory;
  ExportedVaporProject exported;
  QSVaporSyncManifest previousManifest;
  std::vector<std::string> conflicts;          // owned files the user has edited
  // Files of the new design set that exist on disk but were never the exporter's (a controller or
  // view the user wrote before the document added a file of that name), with other content than
  // the export's: the user's own, never written over unless the policy says so.
  std::vector<std::string> unownedConflicts;
  std::vector<std::string> designUpdates;      // every design file of the new export
  std::vector<std::string> prunes;             // owned files the new export no longer has
  std::vector<std::string> scaffoldAdditions;  // scaffold files missing on disk
  // Manifest entries and export paths that would lead outside the project folder (absolute,
  // "..", or through a symbolic link): never read, written or deleted.
  std::vector<std::string> refused;
  bool structuralChangeNeeded = false;  // forms were added or removed
  // The document bookmark the rewritten manifest records: the previous one, unless the caller
  // makes another document the project's source.
  std::optional<std::vector<std::uint8_t>> sourceBrpBookmark;
};

enum class QSResyncPolicy { overwriteConflicts, keepConflicts };

struct QSResyncReport {
  std::vector<std::string> updated, pruned, scaffoldAdded, skippedConflicts, overwrittenConflicts, refused;
  // The user's own files at paths of the new design set, kept or written over.
  std::vector<std::string> keptUnowned, overwrittenUnowned;
  bool structuralChangeNeeded = false;
  // The apply was cancelled before anything was put in place: the project is as it was.
  bool cancelled = false;
};

struct QSResyncApplyOptions {
  // The user's decision for single conflicts (edited or unowned) by path; a conflict not named
  // here follows the policy.
  std::map<std::string, QSResyncPolicy> choices;
  // Called before each file is written aside (done so far, how many in all), from the applying
  // thread; returning false cancels the apply.
  std::function<bool(std::size_t done, std::size_t total)> progress;
};

// Texts shown around a structural change.
namespace QSResyncTexts {
inline constexpr std::string_view structuralTitle = "Forms were added or removed";
inline constexpr std::string_view structuralBefore =
    "Package.swift, configure.swift, and routes.swift may need matching changes. Re-sync leaves those files "
    "untouched \u2014 update them by hand, or regenerate the project.";
inline constexpr std::string_view structuralAfter =
    "Review Package.swift, configure.swift, and routes.swift \u2014 the form wiring may need manual updates.";
}  // namespace QSResyncTexts

// Plans a re-sync of `folder` to `document`. Throws QSSiteException (notASyncedProject) when the
// folder's manifest is missing or does not decode. Writes nothing.
QSResyncPlan planResync(const QSPagesProject& document, const std::filesystem::path& folder,
                        const QSFontLibrary& fonts = QSFontLibrary::system(), QSExportLog log = {});

// Applies the plan: design updates (conflicts and unowned conflicts kept or overwritten by
// `policy`, or by the options' choice for the file), prunes, scaffold additions, then the new
// manifest, which takes ownership of every design file written and of none that was kept.
// Every new content is first written aside next to its file; only once all of them are, do they
// replace the files (renames), the prunes go and the manifest is rewritten. A cancel or a write
// failure before that point leaves the project as it was (folders made for new files removed
// again): a cancel returns a report with `cancelled`, a failure throws. A failure while files are
// put in place throws and leaves the manifest as it was.
QSResyncReport applyResync(const QSResyncPlan& plan, QSResyncPolicy policy, const QSResyncApplyOptions& options = {});

}  // namespace qs

// Failures of the site export, import and re-sync, each carrying the text the user sees.
#pragma once

#include "core/models/case_coding.h"
#include "core/platform/error_exception.h"

#include <string>

namespace qs {

// Cases of QSSiteError.
namespace siteError {
// The document is not valid JSON or not a valid document; the detail names the field at fault.
using DocumentUnreadable = QSUnnamedCase<"documentUnreadable", std::string>;
// The import's target folder is taken: its name, and how the folder it sits in is shown.
struct FolderExists {
  static constexpr std::string_view caseName = "folderExists";
  std::string name;
  std::string parentLabel = "~/Quayside";
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("name", self.name).field("parentLabel", self.parentLabel);
  }
  bool operator==(const FolderExists&) const = default;
};
// Re-sync of a folder without a (readable) sync manifest.
using NotASyncedProject = QSEmptyCase<"notASyncedProject">;
// Re-sync cannot find the document the project came from.
using SourceDocumentMissing = QSEmptyCase<"sourceDocumentMissing">;
// An export's target folder (as shown) holds files of its own.
using FolderNotEmpty = QSUnnamedCase<"folderNotEmpty", std::string>;
// An export's target folder (as shown) is an exported project already.
using AlreadyExported = QSUnnamedCase<"alreadyExported", std::string>;
// A generated file's relative path would land outside the project folder.
using OutsideProject = QSUnnamedCase<"outsideProject", std::string>;
}  // namespace siteError

// e.g. QSSiteError(siteError::FolderExists{"shop"}).message() ==
// "A folder named “shop” already exists in ~/Quayside.".
struct QSSiteError
    : QSEnumeration<siteError::DocumentUnreadable, siteError::FolderExists, siteError::NotASyncedProject,
                    siteError::SourceDocumentMissing, siteError::FolderNotEmpty, siteError::AlreadyExported,
                    siteError::OutsideProject> {
  using QSEnumeration::QSEnumeration;
  // The text the user sees.
  std::string message() const;
};
using QSSiteException = QSErrorException<QSSiteError>;

}  // namespace qs

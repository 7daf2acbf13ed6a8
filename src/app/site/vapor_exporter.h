// Turns a site document into the complete file set of a runnable Vapor project. A pure function
// of the document (and of the installed fonts): writing the files is the caller's.
#pragma once

#include "app/site/pages_document.h"
#include "app/site/site_fonts.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

// `design` files belong to the exporter and are rewritten on re-sync; `scaffold` files are
// written once and then belong to the user.
enum class FileRole { design, scaffold };

struct ExportedFile {
  std::string relativePath;  // "/"-separated, relative to the project folder
  std::string content;
  FileRole role = FileRole::design;
};

struct ExportedVaporProject {
  std::vector<ExportedFile> files;  // in generation order
  bool hasForms = false;            // a form anywhere, the global navbar and footer included
};

// Receives the exporter's log lines ("Vapor export started: 3 pages, forms: true").
using QSExportLog = std::function<void(const std::string&)>;

class QSVaporExporter {
public:
  explicit QSVaporExporter(const QSFontLibrary& fonts = QSFontLibrary::system(), QSExportLog log = {})
      : fonts_(fonts), log_(std::move(log)) {}

  // Every file of the project for `document`, `name` being the package name. Logs
  // "Vapor export started: N pages, forms: true|false" first and "Vapor export complete: N files"
  // last.
  ExportedVaporProject exportProject(const QSPagesProject& document, std::string_view name) const;

private:
  const QSFontLibrary& fonts_;
  QSExportLog log_;
};

// Lower-case; every run of characters outside a-z and 0-9 becomes "-"; "-" trimmed from both
// ends; an empty result is "site".
std::string sanitizedProjectName(std::string_view name);

// Whether the document holds a form element anywhere.
bool documentHasForms(const QSPagesProject& document);

}  // namespace qs

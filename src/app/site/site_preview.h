// A static preview of an export: the generated Leaf views flattened into plain HTML pages (the
// few Leaf constructs the exporter itself emits resolved), with the public files beside them, so
// the site can be looked at in a browser before any Swift build.
#pragma once

#include "app/site/vapor_exporter.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qs::QSSitePreview {

// The views (name without ".leaf", "base" included) and the files under "Public/" of a project.
struct QSPreviewSource {
  std::map<std::string, std::string> views;
  std::vector<ExportedFile> publicFiles;  // paths relative to "Public/"
};

QSPreviewSource fromExport(const ExportedVaporProject& exported);
// Reads "Resources/Views" and "Public" of a project folder.
QSPreviewSource fromFolder(const std::filesystem::path& projectFolder);

// One view rendered into "base": its exported blocks imported, the form-success message left
// out, the error placeholders filled, Leaf's "\#" unescaped, and site-absolute links made
// relative ("/about" → "about.html", "/images/x.png" → "images/x.png", with "../" for views
// in sub-folders).
std::string flattenView(const QSPreviewSource& source, const std::string& viewName);

// Every view but "base" as "<view>.html", then the public files, ready to be written.
std::vector<ExportedFile> flatten(const QSPreviewSource& source);

}  // namespace qs::QSSitePreview

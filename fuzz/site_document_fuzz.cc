// Decodes arbitrary bytes as a site builder document and exports whatever decodes. Decoding
// either succeeds or fails with QSSiteError (never a crash, hang or other exception); an export
// never names a path outside the project, every "#" it writes into a view is one of its own Leaf
// tags, Leaf's "\#" or a character reference, exporting twice gives the same files, and the
// static preview of the views goes through.
#include "app/site/pages_decoding.h"
#include "app/site/site_error.h"
#include "app/site/site_preview.h"
#include "app/site/vapor_exporter.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool holds, const char* what, std::string_view detail) {
  if (holds) return;
  std::fprintf(stderr, "site document fuzz: %s\n--- detail ---\n%.*s\n--------------\n", what,
               static_cast<int>(detail.size()), detail.data());
  std::abort();
}

bool safePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    auto end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string_view part(path.data() + start, end - start);
    if (part.empty() || part == "." || part == ".." || part.find('\\') != std::string_view::npos) return false;
    start = end + 1;
  }
  return true;
}

bool ownLeafTag(const std::string& view, std::size_t at) {
  static constexpr std::string_view kTags[] = {"#extend(\"base\"):", "#export(\"", "#endexport", "#endextend",
                                               "#import(\"", "#if(formSuccess):", "#endif", "#(code)", "#(reason)"};
  if (at > 0 && view[at - 1] == '\\') return true;
  if (at > 0 && view[at - 1] == '&' && at + 1 < view.size() && std::isdigit(static_cast<unsigned char>(view[at + 1])))
    return true;
  for (auto tag : kTags)
    if (view.compare(at, tag.size(), tag) == 0) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  qs::QSPagesProject document;
  try {
    document = qs::decodePagesDocument(text);
  } catch (const qs::QSSiteError&) {
    return 0;
  }
  static const qs::QSFontLibrary noFonts({});
  qs::QSVaporExporter exporter(noFonts);
  qs::ExportedVaporProject exported = exporter.exportProject(document, "fuzz");
  for (const auto& file : exported.files) {
    check(safePath(file.relativePath), "a path leaves the project", file.relativePath);
    if (file.relativePath.size() < 5 || file.relativePath.compare(file.relativePath.size() - 5, 5, ".leaf") != 0)
      continue;
    for (auto at = file.content.find('#'); at != std::string::npos; at = file.content.find('#', at + 1))
      check(ownLeafTag(file.content, at), "a view holds a Leaf tag from the document",
            std::string_view(file.content).substr(at > 40 ? at - 40 : 0, 100));
  }
  qs::ExportedVaporProject again = exporter.exportProject(document, "fuzz");
  check(again.files.size() == exported.files.size(), "a second export differs", "file count");
  for (std::size_t i = 0; i < again.files.size(); ++i)
    check(again.files[i].content == exported.files[i].content, "a second export differs", again.files[i].relativePath);
  (void)qs::QSSitePreview::flatten(qs::QSSitePreview::fromExport(exported));
  return 0;
}

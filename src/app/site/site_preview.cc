#include "app/site/site_preview.h"

#include "core/platform/files.h"

#include <fmt/format.h>

#include <algorithm>

namespace qs::QSSitePreview {
namespace {

namespace fs = std::filesystem;

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// The blocks a view exports: #export("name"):…#endexport.
std::map<std::string, std::string> exportedBlocks(const std::string& view) {
  std::map<std::string, std::string> blocks;
  static constexpr std::string_view kOpen = "#export(\"", kClose = "#endexport";
  std::size_t at = 0;
  while ((at = view.find(kOpen, at)) != std::string::npos) {
    auto nameEnd = view.find("\"):", at + kOpen.size());
    if (nameEnd == std::string::npos) break;
    auto contentStart = nameEnd + 3;
    auto end = view.find(kClose, contentStart);
    if (end == std::string::npos) break;
    blocks[view.substr(at + kOpen.size(), nameEnd - at - kOpen.size())] = view.substr(contentStart, end - contentStart);
    at = end + kClose.size();
  }
  return blocks;
}

void dropFormSuccess(std::string& html) {
  static constexpr std::string_view kIf = "#if(formSuccess):", kEnd = "#endif";
  std::size_t at;
  while ((at = html.find(kIf)) != std::string::npos) {
    auto end = html.find(kEnd, at);
    if (end == std::string::npos) break;
    html.erase(at, end + kEnd.size() - at);
  }
}

// Site-absolute references in attributes and CSS made relative to a page `depth` folders deep.
std::string relativeLinks(const std::string& html, int depth, const std::map<std::string, std::string>& views) {
  std::string prefix;
  for (int i = 0; i < depth; ++i) prefix += "../";
  std::string out;
  std::size_t at = 0;
  while (true) {
    std::size_t best = std::string::npos, skip = 0;
    for (std::string_view opener : {"href=\"/", "src=\"/", "url('/"}) {
      auto found = html.find(opener, at);
      if (found < best) best = found, skip = opener.size();
    }
    if (best == std::string::npos) break;
    out.append(html, at, best + skip - 1 - at);
    auto start = best + skip - 1;  // at the "/"
    auto end = html.find_first_of("\"')", start);
    if (end == std::string::npos) end = html.size();
    std::string target = html.substr(start + 1, end - start - 1);
    auto cut = target.find_first_of("#?&");
    std::string path = target.substr(0, cut), rest = cut == std::string::npos ? "" : target.substr(cut);
    if (path.empty()) path = "index";
    if (views.count(path) && path != "base") path += ".html";
    out += prefix + path + rest;
    at = end;
  }
  return out + html.substr(at);
}

}  // namespace

QSPreviewSource fromExport(const ExportedVaporProject& exported) {
  QSPreviewSource source;
  static constexpr std::string_view kViews = "Resources/Views/", kPublic = "Public/";
  for (const auto& file : exported.files) {
    const auto& path = file.relativePath;
    if (path.rfind(kViews, 0) == 0 && path.size() > 5 && path.compare(path.size() - 5, 5, ".leaf") == 0)
      source.views[path.substr(kViews.size(), path.size() - kViews.size() - 5)] = file.content;
    else if (path.rfind(kPublic, 0) == 0)
      source.publicFiles.push_back({path.substr(kPublic.size()), file.content, file.role});
  }
  return source;
}

QSPreviewSource fromFolder(const fs::path& projectFolder) {
  QSPreviewSource source;
  std::error_code error;
  fs::path views = projectFolder / "Resources/Views";
  for (fs::recursive_directory_iterator it(views, error), end; !error && it != end; it.increment(error)) {
    if (!it->is_regular_file() || it->path().extension() != ".leaf") continue;
    std::string name = fs::relative(it->path(), views).replace_extension().generic_string();
    source.views[name] = readFile(it->path());
  }
  fs::path publicFolder = projectFolder / "Public";
  std::error_code publicError;
  for (fs::recursive_directory_iterator it(publicFolder, publicError), end; !publicError && it != end;
       it.increment(publicError)) {
    if (!it->is_regular_file()) continue;
    source.publicFiles.push_back(
        {fs::relative(it->path(), publicFolder).generic_string(), readFile(it->path()), FileRole::design});
  }
  return source;
}

std::string flattenView(const QSPreviewSource& source, const std::string& viewName) {
  auto base = source.views.find("base");
  auto view = source.views.find(viewName);
  if (base == source.views.end() || view == source.views.end()) return "";
  std::string html = base->second;
  for (const auto& [name, content] : exportedBlocks(view->second))
    replaceAll(html, fmt::format("#import(\"{}\")", name), content);
  for (std::string_view block : {"title", "meta", "pageStyle", "bodyClass", "body"})
    replaceAll(html, fmt::format("#import(\"{}\")", block), "");
  dropFormSuccess(html);
  std::string code = viewName == "404" ? "404" : viewName == "500" ? "500" : "400";
  std::string reason = viewName == "404" ? "Not Found" : viewName == "500" ? "Internal Server Error" : "Bad Request";
  replaceAll(html, "#(code)", code);
  replaceAll(html, "#(reason)", reason);
  replaceAll(html, "\\#", "#");
  int depth = static_cast<int>(std::count(viewName.begin(), viewName.end(), '/'));
  return relativeLinks(html, depth, source.views);
}

std::vector<ExportedFile> flatten(const QSPreviewSource& source) {
  std::vector<ExportedFile> files;
  for (const auto& [name, text] : source.views)
    if (name != "base") files.push_back({name + ".html", flattenView(source, name), FileRole::design});
  files.insert(files.end(), source.publicFiles.begin(), source.publicFiles.end());
  return files;
}

}  // namespace qs::QSSitePreview

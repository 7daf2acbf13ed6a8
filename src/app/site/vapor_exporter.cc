#include "app/site/vapor_exporter.h"

#include "app/site/element_renderer.h"
#include "app/site/export_styles.h"
#include "app/site/html_utilities.h"
#include "app/site/page_views.h"
#include "app/site/vapor_sources.h"
#include "core/platform/files.h"
#include "core/runtime/error_page_support.h"
#include "core/runtime/git_service.h"
#include "core/runtime/scaffold_templates.h"

#include <fmt/format.h>

namespace qs {
namespace {

struct ErrorPage {
  QSPagesErrorPageRole role;
  std::string_view leafName, codeLabel, heading, message;
};

constexpr ErrorPage kErrorPages[] = {
    {QSPagesErrorPageRole::notFound, "404", "Error 404", "Page not found",
     "The page you\u2019re looking for doesn\u2019t exist or may have moved."},
    {QSPagesErrorPageRole::serverError, "500", "Error 500", "Something went wrong",
     "An unexpected error occurred on our end. Please try again."},
    {QSPagesErrorPageRole::generic, "error", "Error #(code)", "Something went wrong", "#(reason)"},
};

bool hasErrorRole(const QSPagesProject& document, QSPagesErrorPageRole role) {
  for (const auto& page : document.pages)
    if (page.errorRole == role) return true;
  return false;
}

}  // namespace

bool documentHasForms(const QSPagesProject& document) {
  bool found = false;
  forEachElement(document, [&](const QSPagesElement& e) {
    found = found || e.kind.type == QSPagesElementKind::Type::form;
  });
  return found;
}

std::string sanitizedProjectName(std::string_view name) {
  std::string out;
  bool pendingDash = false;
  for (char c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      if (pendingDash && !out.empty()) out += '-';
      pendingDash = false;
      out += c;
    } else {
      pendingDash = true;
    }
  }
  return out.empty() ? "site" : out;
}

ExportedVaporProject QSVaporExporter::exportProject(const QSPagesProject& document, std::string_view name) const {
  ExportedVaporProject result;
  result.hasForms = documentHasForms(document);
  bool forms = result.hasForms;
  if (log_) log_(fmt::format("Vapor export started: {} pages, forms: {}", document.pages.size(), forms));
  auto add = [&](std::string path, std::string content, FileRole role) {
    result.files.push_back({std::move(path), std::move(content), role});
  };
  std::string header(QSVaporSources::designHeader);

  add("Package.swift", QSVaporSources::packageSwift(name, forms), FileRole::scaffold);
  add(".gitignore", std::string(QSGitService::vaporGitignore), FileRole::scaffold);
  add("Sources/App/entrypoint.swift", QSScaffoldTemplates::entrypointSwift(), FileRole::scaffold);
  add("Sources/App/configure.swift", QSVaporSources::configureSwift(forms), FileRole::scaffold);
  add("Sources/App/routes.swift", QSVaporSources::routesSwift(forms), FileRole::scaffold);
  add("Sources/App/Controllers/PageController.swift", QSVaporSources::pageController(document.pages), FileRole::design);
  if (forms) {
    add("Sources/App/Controllers/FormController.swift", QSVaporSources::formController(document),
        FileRole::design);
    add("Sources/App/Models/FormSubmission.swift", QSVaporSources::formSubmissionModel(), FileRole::design);
    add("Sources/App/Migrations/CreateFormSubmission.swift", QSVaporSources::createFormSubmissionMigration(),
        FileRole::design);
    add("Sources/App/Services/FormSubmissionNotifier.swift", QSVaporSources::formNotifier(), FileRole::design);
  }
  add("Sources/App/Middleware/ErrorPageMiddleware.swift", header + std::string(QSErrorPageSupport::middlewareSource),
      FileRole::design);

  std::string css = QSExportStyles::generateCSS(document);
  std::string responsive = QSExportStyles::generateResponsiveCSS(QSExportStyles::collectResponsiveElements(document));
  add("Resources/Views/base.leaf", QSPageViews::baseLeaf(document, css, responsive), FileRole::design);

  QSHTMLUtilities::QSLinkResolver links(document.pages);
  std::vector<std::string> views = QSPageViews::leafNames(document.pages);
  for (std::size_t i = 0; i < document.pages.size(); ++i)
    add("Resources/Views/" + views[i] + ".leaf",
        QSPageViews::pageLeaf(document.pages[i], views[i], document, forms, links), FileRole::design);
  for (const auto& error : kErrorPages)
    if (!hasErrorRole(document, error.role))
      add("Resources/Views/" + std::string(error.leafName) + ".leaf",
          QSPageViews::errorLeaf(error.codeLabel, error.heading, error.message), FileRole::design);

  add("Public/css/.gitkeep", "", FileRole::design);
  for (const auto& font : QSHTMLUtilities::bundledFontFiles(document)) {
    auto file = fonts_.find(font.fileName);
    if (!file) continue;
    auto bytes = readFileIfPresent(*file);
    if (bytes) add("Public/fonts/" + std::string(font.fileName) + ".ttf", std::move(*bytes), FileRole::design);
  }
  for (const auto& asset : document.assets) {
    if (asset.source.type != QSPagesAssetSource::Type::inlined) continue;
    add("Public/images/" + asset.id.string() + "." + QSHTMLUtilities::mimeToExtension(asset.mimeType),
        std::string(asset.source.data.begin(), asset.source.data.end()), FileRole::design);
  }
  if (log_) log_(fmt::format("Vapor export complete: {} files", result.files.size()));
  return result;
}

}  // namespace qs

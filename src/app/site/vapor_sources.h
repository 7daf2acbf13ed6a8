// The Swift sources of an exported project: package manifest, configure, routes, the page and
// form controllers, the form model, migration and webhook notifier.
#pragma once

#include "app/site/pages_document.h"

#include <string>
#include <string_view>
#include <vector>

namespace qs::QSVaporSources {

// The header at the top of every generated design source file.
extern const std::string_view designHeader;

// Package manifest: tools 6.0, macOS 14, Vapor and Leaf (plus Fluent and its PostgreSQL driver
// with forms), one executable target "App".
std::string packageSwift(std::string_view name, bool hasForms);
// Leaf views, the error-page middleware, the public files, with forms PostgreSQL from DB_* and
// the CreateFormSubmission migration, then the routes.
std::string configureSwift(bool hasForms);
// Registers PageController, and FormController with forms.
std::string routesSwift(bool hasForms);

// The quoted route components of a list of path components: "\"docs\", \"intro\"".
std::string routePathLiteral(const std::vector<std::string>& components);

// One GET route per page that is not an error page (the design header included).
std::string pageController(const std::vector<QSPagesPage>& pages);
// One POST route under "forms" per page that shows a form, in its own elements or in the global
// navbar or footer (the design header included).
std::string formController(const QSPagesProject& project);
std::string formSubmissionModel();
std::string createFormSubmissionMigration();
std::string formNotifier();

}  // namespace qs::QSVaporSources

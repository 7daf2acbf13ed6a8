// The generated Swift sources and views checked as text.
#include "app/site/page_views.h"
#include "app/site/site_documents.h"
#include "app/site/vapor_sources.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using namespace sitetest;

bool has(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

TEST(VaporSourcesTest, PageController) {
  QSPagesProject doc = decode(document({page("/", {text("a")}, true), page("/about/our-team", {text("b")}),
                                        page("/2024", {text("c")}), page("/index", {text("d")}), page("//", {text("e")}),
                                        page("/oops", {text("f")})}));
  doc.pages[5].errorRole = QSPagesErrorPageRole::serverError;
  EXPECT_EQ(QSVaporSources::pageController(doc.pages),
            std::string(QSVaporSources::designHeader) +
                "import Vapor\nimport Leaf\n\n"
                "/// One GET route per page of the site.\n"
                "struct PageController: RouteCollection {\n"
                "    func boot(routes: any RoutesBuilder) throws {\n"
                "        routes.get(use: self.index)\n"
                "        routes.get(\"about\", \"our-team\", use: self.about_our_team)\n"
                "        routes.get(\"2024\", use: self.page_2024)\n"
                "        routes.get(\"index\", use: self.index_2)\n"
                "    }\n\n"
                "    @Sendable\n    func index(req: Request) async throws -> View {\n"
                "        try await req.view.render(\"index\")\n    }\n\n"
                "    @Sendable\n    func about_our_team(req: Request) async throws -> View {\n"
                "        try await req.view.render(\"about/our-team\")\n    }\n\n"
                "    @Sendable\n    func page_2024(req: Request) async throws -> View {\n"
                "        try await req.view.render(\"2024\")\n    }\n\n"
                "    @Sendable\n    func index_2(req: Request) async throws -> View {\n"
                "        try await req.view.render(\"page-index\")\n    }\n"
                "}\n");
  EXPECT_EQ(QSPageViews::leafName(doc.pages[4]), "page-");
  EXPECT_EQ(QSPageViews::leafName(doc.pages[5]), "500");
}

TEST(VaporSourcesTest, FormControllerAndFriends) {
  QSPagesProject doc = decode(document({page("/", {form()}, true), page("/help/contact", {element("container", nullptr, {form()})}),
                                        page("/plain", {text("x")})}));
  std::string controller = QSVaporSources::formController(doc.pages);
  // The first handler whole; the second differs only where the page does.
  EXPECT_TRUE(controller.starts_with(
            std::string(QSVaporSources::designHeader) +
                "import Vapor\nimport Fluent\nimport Leaf\n\n"
                "/// Receives the site's forms: stores each submission and forwards it to the webhook.\n"
                "struct FormController: RouteCollection {\n"
                "    func boot(routes: any RoutesBuilder) throws {\n"
                "        let forms = routes.grouped(\"forms\")\n"
                "        forms.post(\"index\", use: self.submit_index)\n"
                "        forms.post(\"help\", \"contact\", use: self.submit_help_contact)\n"
                "    }\n\n"
                "    struct FormData_index: Content {\n        var Email: String?\n    }\n\n"
                "    @Sendable\n"
                "    func submit_index(req: Request) async throws -> View {\n"
                "        let data = try req.content.decode(FormData_index.self)\n"
                "        var fields: [String: String] = [:]\n"
                "        if let value = data.Email { fields[\"Email\"] = value }\n"
                "        let submission = FormSubmission(\n"
                "            pageSlug: \"/\",\n"
                "            formName: \"form\",\n"
                "            fields: fields,\n"
                "            ipAddress: req.remoteAddress?.ipAddress\n"
                "        )\n"
                "        try await submission.save(on: req.db)\n"
                "        // Fire-safe: never throws, so a webhook outage can't fail the submit.\n"
                "        await FormNotifier.notify(submission, on: req)\n"
                "        return try await req.view.render(\"index\", [\"formSuccess\": true])\n"
                "    }\n\n"));
  for (const char* line : {"    struct FormData_help_contact: Content {\n        var Email: String?\n    }\n",
                           "        let data = try req.content.decode(FormData_help_contact.self)\n",
                           "            pageSlug: \"/help/contact\",\n",
                           "        return try await req.view.render(\"help/contact\", [\"formSuccess\": true])\n    }\n}\n"})
    EXPECT_TRUE(has(controller, line)) << line;
  std::string model = QSVaporSources::formSubmissionModel();
  EXPECT_TRUE(has(model, "    static let schema = \"form_submissions\"\n"));
  EXPECT_TRUE(has(model, "    @Timestamp(key: \"created_at\", on: .create)\n    var createdAt: Date?\n"));
  std::string migration = QSVaporSources::createFormSubmissionMigration();
  EXPECT_TRUE(has(migration, "            .field(\"fields\", .json, .required)\n            .field(\"ip_address\", .string)\n"));
  EXPECT_TRUE(has(migration, "try await database.schema(\"form_submissions\").delete()"));
  std::string notifier = QSVaporSources::formNotifier();
  EXPECT_TRUE(has(notifier, "guard let url = Environment.get(\"FORM_WEBHOOK_URL\"), !url.isEmpty else { return }"));
  EXPECT_TRUE(has(notifier, "req.logger.error(\"Form webhook rejected the submission: HTTP \\(response.status.code)\")"));
  EXPECT_TRUE(has(notifier, "req.logger.info(\"Form submission forwarded to webhook\")"));
  EXPECT_TRUE(has(notifier, "req.logger.error(\"Form webhook failed: \\(error)\")"));
  EXPECT_TRUE(has(notifier, "receivedAt: submission.createdAt ?? Date()"));
}

TEST(VaporSourcesTest, ViewsAroundThePages) {
  QSPagesProject plain = fixture("minimal.brp");
  std::string base = QSPageViews::baseLeaf(plain, "a { color: #FFF; }", "");
  EXPECT_EQ(base.rfind("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"UTF-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1.0\">\n"
                       "<title>#import(\"title\")</title>\n#import(\"meta\")\n<style>\na { color: \\#FFF; }</style>\n"
                       "#import(\"pageStyle\")\n</head>\n<body#import(\"bodyClass\")>\n#import(\"body\")\n<script>\n",
                       0),
            0u);
  EXPECT_FALSE(has(base, "brp-theme"));
  EXPECT_FALSE(has(base, "data-brp-share"));
  std::string themed = QSPageViews::baseLeaf(fixture("shop.brp"), "", "");
  EXPECT_TRUE(has(themed, "localStorage.getItem('brp-theme') || 'system'"));
  EXPECT_TRUE(has(themed, "var order = { light: 'dark', dark: 'system', system: 'light' };"));
  EXPECT_TRUE(has(themed, "button.title = 'Theme: ' + mode.charAt(0).toUpperCase() + mode.slice(1);"));
  EXPECT_TRUE(has(themed, "document.querySelectorAll('[data-brp-share-net]')"));

  EXPECT_EQ(QSPageViews::errorLeaf("Error 500", "Something went wrong", "Try again."),
            "#extend(\"base\"):\n#export(\"title\"):Something went wrong#endexport\n"
            "#export(\"meta\"):\n    <meta name=\"robots\" content=\"noindex\">\n#endexport\n"
            "#export(\"pageStyle\"):#endexport\n#export(\"bodyClass\"):#endexport\n#export(\"body\"):\n"
            "<main style=\"min-height:70vh;display:flex;flex-direction:column;align-items:center;justify-content:center;"
            "gap:14px;padding:96px 32px;text-align:center\">\n"
            "  <p style=\"font-size:12px;letter-spacing:3px;text-transform:uppercase;color:var(--brp-text-tri, "
            "rgb(154,154,154))\">Error 500</p>\n"
            "  <h1 style=\"font-size:40px;font-weight:600;letter-spacing:-0.8px\">Something went wrong</h1>\n"
            "  <p style=\"max-width:480px;color:var(--brp-text-sec, rgb(107,107,107))\">Try again.</p>\n"
            "  <a href=\"/\" class=\"brp-btn brp-btn-primary\" style=\"margin-top:12px\">Back to home</a>\n"
            "</main>\n#endexport\n#endextend\n");

  QSPagesProject shop = fixture("shop.brp");
  QSHTMLUtilities::QSLinkResolver links(shop.pages);
  std::string intro = QSPageViews::pageLeaf(shop.pages[3], shop, true, links);
  EXPECT_EQ(intro.rfind("#extend(\"base\"):\n#export(\"title\"):Intro#endexport\n"
                        "#export(\"meta\"):\n    <meta name=\"robots\" content=\"noindex\">\n#endexport\n"
                        "#export(\"pageStyle\"):#endexport\n#export(\"bodyClass\"):#endexport\n#export(\"body\"):\n<nav",
                        0),
            0u);
  EXPECT_TRUE(intro.ends_with("</footer>\n#endexport\n#endextend\n"));
  std::string about = QSPageViews::pageLeaf(shop.pages[1], shop, true, links);
  EXPECT_TRUE(has(about, "#export(\"meta\"):\n    <link rel=\"canonical\" href=\"https://shop.test/about\">\n#endexport\n"));
}

}  // namespace
}  // namespace qs

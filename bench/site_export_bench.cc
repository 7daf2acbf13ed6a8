// Site export: a generated document of 200 pages with 20 elements each (headings, text, rich
// text with page links, buttons, images, feature grids, forms, nested containers and responsive
// overrides, under a global navbar and footer) decoded, exported and written to a fresh folder;
// then re-sync planning of that project (re-export, hashing every owned file on disk).
// Reports the median and the slowest of the runs. Targets: export under 200 ms, planning under
// 100 ms.
#include "app/site/pages_decoding.h"
#include "app/site/site_import.h"
#include "app/site/site_resync.h"
#include "app/site/sync_manifest.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

#include <unistd.h>

namespace {

using namespace qs;
using json = nlohmann::json;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kPages = 200, kElementsPerPage = 20, kRuns = 15;

int counter = 0;

json element(const std::string& type, json value = nullptr, json children = json::array()) {
  json zero = {{"top", 0}, {"right", 0}, {"bottom", 0}, {"left", 0}};
  json kind = {{"type", type}};
  if (!value.is_null()) kind["value"] = value;
  json e = {{"id", fmt::format("{:08X}-0000-4000-8000-000000000000", ++counter)},
            {"name", type},
            {"kind", kind},
            {"children", children},
            {"style", {{"borderRadius", {{"topLeft", 4}, {"topRight", 4}, {"bottomRight", 4}, {"bottomLeft", 4}}},
                       {"opacity", 1}, {"overflow", "hidden"}, {"fontSize", 16}, {"textColor", {{"hex", "#1A1A1A"}}}}},
            {"layout", {{"display", "flex"}, {"flexDirection", "row"}, {"alignItems", "center"},
                        {"justifyContent", "flex-start"}, {"gap", 12}, {"padding", {{"top", 24}, {"right", 32}, {"bottom", 24}, {"left", 32}}},
                        {"margin", zero}, {"width", {{"type", "fill"}}}, {"height", {{"type", "auto"}}}}}};
  if (counter % 5 == 0) e["responsiveOverrides"] = {{"mobile", {{"style", {{"fontSize", 14}}}}}};
  return e;
}

json pageElement(int page, int i) {
  switch (i % 10) {
    case 0: return element("heading", {{"content", fmt::format("Page {} section {}", page, i)}, {"level", "h2"}});
    case 1: return element("text", {{"content", "Plain words about the product, with <angle> & \"quotes\"."}});
    case 2: return element("richText", {{"html", fmt::format("<p>See <a href=\"page-{}.html\">the next page</a>.</p>", (page + 1) % kPages)}});
    case 3: return element("button", {{"label", "Go"}, {"url", "index.html"}, {"openInNewTab", false}, {"variant", "primary"}});
    case 4: return element("image", {{"externalURL", "https://example.com/a.png"}, {"alt", "A picture"}, {"objectFit", "cover"}});
    case 5: return element("featureGrid", {{"features", {{{"iconName", "bolt"}, {"title", "Fast"}, {"description", "Very"}},
                                                         {{"iconName", "star"}, {"title", "Good"}, {"description", "Quite"}}}},
                                           {"columns", 2}});
    case 6: return element("container", nullptr, {element("text", {{"content", "Inside"}}), element("divider")});
    case 7: return page % 10 == 0 ? element("form", {{"fields", {{{"label", "Email"}, {"type", "email"}, {"placeholder", ""}, {"isRequired", true}}}},
                                                      {"submitLabel", "Send"}, {"action", ""}})
                                  : element("spacer", {{"height", 24}});
    case 8: return element("faq", {{"title", "Questions"}, {"items", {{{"question", "Why?"}, {"answer", "See [this](index.html)."}}}}});
    default: return element("testimonial", {{"quote", "Lovely"}, {"authorName", "Ada"}, {"authorTitle", "CTO"}, {"rating", 5}});
  }
}

std::string generatedDocument() {
  json pages = json::array();
  for (int p = 0; p < kPages; ++p) {
    json elements = json::array();
    for (int i = 0; i < kElementsPerPage; ++i) elements.push_back(pageElement(p, i));
    pages.push_back({{"elements", elements}, {"slug", p == 0 ? "/" : fmt::format("/section-{}/page-{}", p % 7, p)},
                     {"isHomepage", p == 0}, {"seo", {{"title", fmt::format("Page {}", p)}, {"metaDescription", "About it"}, {"noIndex", false}}},
                     {"isHidden", false}, {"name", fmt::format("Page {}", p)}});
  }
  json link = {{"url", "index.html"}, {"label", "Home"}, {"openInNewTab", false}, {"children", json::array()},
               {"dropdown", "list"}, {"subtitle", ""}, {"iconSymbol", ""}, {"group", ""}};
  return json{{"pages", pages},
              {"globalNavbar", element("navbar", {{"links", {link, link}}, {"ctaLabel", "Start"}, {"ctaURL", "page-1.html"}, {"logoText", "Bench"}})},
              {"globalFooter", element("footer", {{"links", {{{"url", "index.html"}, {"label", "Home"}}}}, {"socialLinks", json::array()},
                                                  {"copyrightText", "(c) Bench"}, {"wordmark", "BENCH"}, {"tagline", ""},
                                                  {"columns", json::array()}, {"bottomNote", ""}, {"bottomLinks", json::array()}})},
              {"globalStyles", {{"fontTokens", {{{"name", "Body"}, {"fontFamily", "Inter"}, {"source", "bundled"}}}},
                                {"colorTokens", {{{"name", "Brand"}, {"color", {{"hex", "#6D28D9"}}}}}},
                                {"autoDarkMode", true}, {"showThemeToggle", true}}},
              {"assets", json::array()}}
      .dump();
}

struct Timing {
  double median, slowest;
};

template <class F>
Timing measure(F&& run) {
  std::vector<double> ms;
  for (int i = 0; i < kRuns; ++i) {
    auto start = Clock::now();
    run(i);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

}  // namespace

int main() {
  std::string text = generatedDocument();
  fs::path root = QSPaths::temporaryFolder() / fmt::format("quayside-site-bench-{}", ::getpid());
  fs::remove_all(root);
  const QSFontLibrary& fonts = QSFontLibrary::system();  // indexed once, as in a real run
  std::size_t files = 0;
  Timing exportTime = measure([&](int run) {
    QSPagesProject document = decodePagesDocument(text);
    ExportedVaporProject exported = QSVaporExporter(fonts).exportProject(document, "bench");
    fs::path folder = root / fmt::format("run-{}", run);
    createDirectories(folder);
    writeExportedFiles(folder, exported.files, true);
    QSVaporSyncManifest manifest{1, std::nullopt, QSTime::now(), exported.hasForms, QSSyncManifest::ownedBaseline(exported)};
    QSSyncManifest::write(folder, manifest);
    files = exported.files.size();
  });
  Timing decodeTime = measure([&](int) { (void)decodePagesDocument(text); });
  QSPagesProject document = decodePagesDocument(text);
  Timing renderTime = measure([&](int) { (void)QSVaporExporter(fonts).exportProject(document, "bench"); });
  std::size_t updates = 0;
  Timing planTime = measure([&](int) { updates = planResync(document, root / "run-0", fonts).designUpdates.size(); });
  fs::remove_all(root);

  fmt::print("Site export of {} pages x {} elements ({} KB document, {} files), {} runs\n", kPages, kElementsPerPage,
             text.size() / 1024, files, kRuns);
  fmt::print("  decode + export + write     median {:7.1f} ms   slowest {:7.1f} ms   (target: under 200 ms)\n",
             exportTime.median, exportTime.slowest);
  fmt::print("    of which decoding         median {:7.1f} ms, exporting in memory median {:.1f} ms\n",
             decodeTime.median, renderTime.median);
  fmt::print("  re-sync planning            median {:7.1f} ms   slowest {:7.1f} ms   (target: under 100 ms; {} updates)\n",
             planTime.median, planTime.slowest, updates);
  return 0;
}

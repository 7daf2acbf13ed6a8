// Site commands end to end: import through the real daemon, then re-sync, export and preview.
#include "e2e/e2e_support.h"

#include "core/platform/encoding.h"
#include "core/platform/file_status.h"
#include "core/platform/files.h"
#include "support/test_locations.h"

namespace qs::testing {
namespace {

std::string shopFixture() { return qs::testing::fixturesFolder() + "/site/shop.brp"; }

class SiteCommands : public E2ETest {};

// Added to a preview page: measures the WCAG contrast of every visible link or button that paints
// a background of its own (the buttons) against that background, composited over what is behind
// it, and reports "CHECKED n" and one "FAIL" line per button under 4.5:1.
constexpr std::string_view kContrastProbe = R"JS(<script>
(function () {
  function parse(c) {
    var m = c.match(/^rgba?\(([^)]*)\)$/), srgb = c.match(/^color\(srgb ([^)]*)\)$/);
    var p = (m || srgb) ? (m || srgb)[1].split(/[ ,\/]+/).filter(Boolean).map(Number) : null;
    if (!p) return null;
    var scale = srgb ? 255 : 1;
    return [p[0] * scale, p[1] * scale, p[2] * scale, p.length > 3 ? p[3] : 1];
  }
  function over(top, under) {
    var a = top[3];
    return [top[0] * a + under[0] * (1 - a), top[1] * a + under[1] * (1 - a), top[2] * a + under[2] * (1 - a), 1];
  }
  function luminance(c) {
    var l = c.slice(0, 3).map(function (v) { v /= 255; return v <= 0.04045 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4); });
    return 0.2126 * l[0] + 0.7152 * l[1] + 0.0722 * l[2];
  }
  var dark = matchMedia('(prefers-color-scheme: dark)').matches;
  function behind(element) {
    var chain = [];
    for (var e = element; e; e = e.parentElement) chain.unshift(e);
    var colour = dark ? [18, 18, 18, 1] : [255, 255, 255, 1];
    chain.forEach(function (e) { var c = parse(getComputedStyle(e).backgroundColor); if (c && c[3] > 0) colour = over(c, colour); });
    return colour;
  }
  var failures = [], checked = 0;
  document.querySelectorAll('a, button').forEach(function (element) {
    var style = getComputedStyle(element), own = parse(style.backgroundColor);
    if (!own || own[3] === 0 || !element.textContent.trim() || element.getClientRects().length === 0) return;
    var background = behind(element), ink = over(parse(style.color), background);
    var a = luminance(ink), b = luminance(background);
    var ratio = (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
    checked++;
    if (ratio < 4.5) failures.push('FAIL ' + ratio.toFixed(2) + ' "' + element.textContent.trim() + '" ' + style.color + ' on ' + style.backgroundColor);
  });
  var report = document.createElement('pre');
  report.id = 'qs-contrast';
  report.textContent = 'CHECKED ' + checked + (failures.length ? '\n' + failures.join('\n') : '');
  document.body.appendChild(report);
})();
</script>
)JS";

TEST_F(SiteCommands, ImportResyncPreviewAndAnotherDocument) {
  startDaemon();
  auto project = home.home() / "Quayside/my-shop";
  std::string imported = qsOK({"site", "import", shopFixture(), "--name", " My Shop! "});
  EXPECT_EQ(imported.rfind("Imported shop.brp into ~/Quayside/my-shop: ", 0), 0u) << imported;
  EXPECT_NE(imported.find(", committed to a new git repository.\n\nmy-shop\n"), std::string::npos)
      << imported;

  qsOK({"site", "import", shopFixture(), "--name", "my-shop", "--no-git"});  // taken by a project: numbered
  EXPECT_FALSE(fileExists(home.home() / "Quayside/my-shop-2/.git"));

  std::string plan = qsOK({"site", "resync", "my-shop", "--dry-run"});
  EXPECT_EQ(plan.rfind("Re-sync plan for ~/Quayside/my-shop from " + shopFixture() + ":\n  Update (", 0), 0u)
      << plan;
  EXPECT_EQ(plan.find("Conflicts"), std::string::npos);

  writeFileAtomically(project / "Resources/Views/about.leaf", "mine");
  auto refused = qs({"site", "resync", "my-shop"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(refused.err.starts_with("qs: Vapor export started: 6 pages, forms: true\nqs: Vapor export complete: "))
      << refused.err;
  EXPECT_TRUE(refused.err.ends_with(
      " files\nqs: 1 file would be written over: generated files changed since the last export, or files of your own. "
      "Re-run with --keep-mine to keep them or --overwrite to replace them.\n"))
      << refused.err;
  EXPECT_NE(refused.out.find("  Conflicts, edited since the last export (1):\n    Resources/Views/about.leaf\n"),
            std::string::npos);
  std::string kept = qsOK({"site", "resync", project.string(), shopFixture(), "--keep-mine"});
  EXPECT_NE(kept.find("  Kept your edits (1):\n    Resources/Views/about.leaf\n"), std::string::npos);

  // The preview stays out of the project's git history.
  std::string preview = qsOK({"site", "preview", "my-shop"});
  EXPECT_TRUE(preview.starts_with(
      "Wrote a preview of 8 pages to ~/Quayside/my-shop/.build/site-preview.\nOpen file://"))
      << preview;
  auto ignored = runProcess({"/usr/bin/git", "-C", project.string(), "check-ignore", "-q", ".build/site-preview/index.html"});
  EXPECT_EQ(ignored.exitStatus, 0) << ignored.errorOutput;

  // A document given once is used once, unless the user says to follow it from now on.
  auto moved = home.home() / "designs/shop-v2.brp";
  writeTextFile(moved, readFile(shopFixture()));
  std::string once = qsOK({"site", "resync", "my-shop-2", moved.string(), "--keep-mine"});
  EXPECT_NE(once.find("\nThis re-sync uses ~/designs/shop-v2.brp; the project still follows " + shopFixture() +
                      ". Give --remember to follow ~/designs/shop-v2.brp from now on.\n"),
            std::string::npos)
      << once;
  EXPECT_TRUE(qsOK({"site", "resync", "my-shop-2", "--dry-run"})
                  .starts_with("Re-sync plan for ~/Quayside/my-shop-2 from " + shopFixture()));

  std::string remembered = qsOK({"site", "resync", "my-shop-2", moved.string(), "--remember"});
  EXPECT_TRUE(remembered.ends_with("\nThe project follows ~/designs/shop-v2.brp from now on.\n")) << remembered;
  EXPECT_TRUE(qsOK({"site", "resync", "my-shop-2", "--dry-run"})
                  .starts_with("Re-sync plan for ~/Quayside/my-shop-2 from ~/designs/shop-v2.brp:\n"));
  EXPECT_EQ(qsFails({"site", "resync", "my-shop-2", "--remember"}, 2),
            "qs: --remember needs the document to remember: qs site resync PROJECT DOC --remember.\n");
}

TEST_F(SiteCommands, ExportNeedsNoDaemonAndBadDocumentsWriteNothing) {
  auto out = home.home() / "export";
  auto exported = qs({"site", "export", shopFixture(), "--out", out.string()});
  EXPECT_TRUE(exported.out.starts_with("Exported ")) << exported.out;
  std::string count = exported.out.substr(9, exported.out.find(" files") - 9);
  EXPECT_EQ(exported.out, "Exported " + count + " files to ~/export.\n");

  // A second export into the folder would replace the user's code: it points to re-sync instead.
  writeFileAtomically(out / "Sources/App/routes.swift", "// my routes");
  EXPECT_TRUE(qsFails({"site", "export", shopFixture(), "--out", out.string()})
                  .ends_with("qs: ~/export is a project exported from a document already. Bring design changes in with "
                             "'qs site resync " + out.string() + " " + shopFixture() +
                             "', which keeps your code, or give --force to write every exported file over it.\n"));
  auto code = home.home() / "code";
  writeTextFile(code / "main.swift", "// mine");
  EXPECT_TRUE(qsFails({"site", "export", shopFixture(), "--out", code.string()})
                  .ends_with("qs: ~/code holds files already. Export into a new or empty folder, or give --force to "
                             "write the exported files over the ones of the same names.\n"));
  EXPECT_EQ(readFile(out / "Sources/App/routes.swift"), "// my routes");
  qsOK({"site", "export", shopFixture(), "--out", out.string(), "--force"});
  EXPECT_NE(readFile(out / "Sources/App/routes.swift"), "// my routes");

  // A document's preview goes to a new private folder each time.
  auto previewFolder = [&] {
    std::string printed = qsOK({"site", "preview", shopFixture()});
    auto start = printed.find(" to ") + 4;
    std::string shown = printed.substr(start, printed.find(".\nOpen") - start);
    return shown.starts_with("~/") ? home.home() / shown.substr(2) : std::filesystem::path(shown);
  };
  auto first = previewFolder(), second = previewFolder();
  EXPECT_NE(first, second);
  EXPECT_EQ(first.parent_path(), home.home() / "tmp");
  EXPECT_EQ(std::filesystem::status(first).permissions(), std::filesystem::perms::owner_all);
  EXPECT_TRUE(fileExists(second / "index.html"));

  writeTextFile(home.home() / "bad.brp", "{\"pages\": [{}]}");
  auto bad = home.home() / "bad";
  EXPECT_EQ(qsFails({"site", "export", (home.home() / "bad.brp").string(), "--out", bad.string()}),
            "qs: The document can't be read: pages[0].elements is missing.\n");
  EXPECT_FALSE(fileExists(bad));

  EXPECT_EQ(qsFails({"site", "resync", home.home().string()}),
            "qs: This folder has no Brindle Pages sync manifest, so it can't be re-synced.\n");
}

// The buttons of the document fixtures' previews are readable in both themes: every button's ink
// against its own background, as the browser computes them from the generated stylesheet.
TEST_F(SiteCommands, PreviewButtonsAreReadableInBothThemes) {
  const std::filesystem::path browser = "/usr/bin/chromium";
  if (!isExecutableFile(browser)) GTEST_SKIP() << "needs Chromium (scripts/install-deps installs it)";
  const std::vector<std::pair<std::string, std::vector<std::string>>> pages = {
      {"shop", {"index", "about"}}, {"cafe", {"index", "menu"}}};
  for (const auto& [fixture, views] : pages) {
    auto out = home.home() / ("preview-" + fixture);
    qsOK({"site", "preview", qs::testing::fixturesFolder() + "/site/" + fixture + ".brp", "--out", out.string()});
    for (const auto& view : views) {
      std::string html = readFile(out / (view + ".html"));
      html.insert(html.rfind("</body>"), kContrastProbe);
      auto probe = out / ("probe-" + view + ".html");
      writeTextFile(probe, html);
      for (bool dark : {false, true}) {
        std::vector<std::string> argv = {browser.string(), "--headless", "--no-sandbox", "--disable-gpu",
                                         "--user-data-dir=" + (home.home() / "browser").string(),
                                         "--window-size=1280,2400", "--dump-dom", fileURLString(probe)};
        if (dark) argv.insert(argv.begin() + 1, "--blink-settings=preferredColorScheme=0");
        auto result = runProcess(argv, {.environment = environment});
        constexpr std::string_view kReport = "<pre id=\"qs-contrast\">";
        auto start = result.output.find(kReport), end = result.output.find("</pre>", start);
        ASSERT_NE(start, std::string::npos) << fixture << "/" << view << ": " << result.errorOutput;
        start += kReport.size();
        std::string report = result.output.substr(start, end - start);
        std::string where = fixture + "/" + view + (dark ? " (dark)" : " (light)");
        EXPECT_TRUE(report.starts_with("CHECKED ") && report.substr(8, 1) != "0") << where << ": " << report;
        EXPECT_EQ(report.find("FAIL"), std::string::npos) << where << ":\n" << report;
      }
    }
  }
}

}  // namespace
}  // namespace qs::testing

// The Publish sheet against the engine this process runs and the fake hosting service: the key, the
// subdomain check, phases, build log and address; a taken subdomain; Cancel mid-build changes nothing.
#include "app/views/publish_sheet.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "support/app_window.h"
#include "support/fake_hosting_service.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace qs;
using namespace qs::testing;

namespace {

constexpr const char* kKey = "key-123-0123456789abcdef";

// The archives anything left in the temporary folder.
std::vector<std::string> leftoverArchives() {
  std::vector<std::string> out;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(QSPaths::temporaryFolder()))
    if (entry.path().string().ends_with(".tar.gz")) out.push_back(entry.path().string());
  return out;
}

struct Fixture : AppWindow {
  explicit Fixture(bool withKey = true) {
    if (withKey) QSSettings::standard().set("qs.publishAPIKey", std::string(kKey));
    fake.script.apiKeys = {kKey};
  }
  FakeHostingService fake;
  ScopedEnvironment hosting{{{"QS_HOSTING_URL", fake.apiURL()}, {"QS_HUB_URL", fake.hubURL()},
                             {"QS_HOSTING_API_KEY", std::nullopt}}};
  std::filesystem::path project;

  // The app owning the services, with the project blog (a .env and a nested folder) selected.
  bool start() {
    if (!AppWindow::start() || !addProject("blog")) return false;
    project = selected()->path;
    writeTextFile(project / "Sources/App/routes.swift", "import Vapor\n");
    return true;
  }
  QSPublishSheet* sheet() { return window->openPublishSheet(); }
};

QString itemText(QSPublishSheet* sheet, int row) { return sheet->phaseList()->item(row)->text(); }

}  // namespace

class PublishSheetTest : public QObject {
  Q_OBJECT
private slots:
  void keyThenPublishToTheFinalAddress() {
    Fixture f(false);
    QVERIFY(f.start());
    QSPublishSheet* sheet = f.sheet();
    QVERIFY(sheet && sheet->isVisible());
    QCOMPARE(sheet->keyLabel()->text(), QString("No key stored yet."));
    QCOMPARE(sheet->subdomainEdit()->text(), QString("blog"));

    // A key the hub refuses is said so and not stored; the one it accepts is, and shows masked.
    sheet->keyEdit()->setText("wrong-key-000000");
    QTest::mouseClick(sheet->saveKeyButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(sheet->messageLabel()->text().endsWith("The key was not stored."), kLong);
    QVERIFY2(sheet->messageLabel()->text().startsWith("Your Brindle Hosting API key was rejected."),
             qPrintable(sheet->messageLabel()->text()));
    QVERIFY(QSSettings::standard().stringValue("qs.publishAPIKey").empty());
    sheet->keyEdit()->setText(QString(kKey) + "\n");
    QTest::mouseClick(sheet->saveKeyButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sheet->keyLabel()->text(), QString("Stored: \u2022\u2022\u2022\u2022 cdef"), kLong);
    QCOMPARE(QSSettings::standard().stringValue("qs.publishAPIKey"), std::string(kKey));
    QCOMPARE(std::filesystem::status(QSSettings::standard().file()).permissions() & std::filesystem::perms::all,
             std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    sheet->checkAvailability();
    QTRY_COMPARE_WITH_TIMEOUT(sheet->availabilityLabel()->text(), QString("blog.brindle.site is available."), kLong);

    f.fake.script.logPages = {{"Compiling App", "\x1b[1mLinking\x1b[0m"}, {"Build complete"}};
    f.fake.script.finalURL = "https://blog.example.test";
    QTest::mouseClick(sheet->publishButton(), Qt::LeftButton);
    QVERIFY(sheet->isPublishing());
    QVERIFY(!sheet->publishButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!sheet->isPublishing(), kLong);
    QCOMPARE(sheet->phase().kind, QSPublishPhase::Kind::succeeded);
    QCOMPARE(sheet->phaseLabel()->text(), QString("Published"));
    for (int row = 0; row < 6; ++row) QVERIFY2(itemText(sheet, row).startsWith("\u2713"), qPrintable(itemText(sheet, row)));
    QCOMPARE(itemText(sheet, 5), QString("\u2713  Building on Brindle Hosting\u2026"));
    QCOMPARE(sheet->buildLog()->toPlainText(),
             QString("Compiling App\n\uFFFD[1mLinking\uFFFD[0m\nBuild complete"));
    QScrollBar* bar = sheet->buildLog()->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());  // following the tail
    QVERIFY(sheet->addressLabel()->isVisible());
    QVERIFY(sheet->addressLabel()->openExternalLinks());
    QVERIFY2(sheet->addressLabel()->text().contains("<a href=\"https://blog.example.test\">"),
             qPrintable(sheet->addressLabel()->text()));
    QCOMPARE(sheet->cancelButton()->text(), QString("Close"));
    QVERIFY(leftoverArchives().empty());
    // The key itself never shows anywhere in the sheet.
    for (QLabel* label : sheet->findChildren<QLabel*>()) QVERIFY(!label->text().contains(kKey));
    QVERIFY(!sheet->buildLog()->toPlainText().contains(kKey));
  }

  void aTakenSubdomainIsSaidAndItsFailureShown() {
    Fixture f;
    QVERIFY(f.start());
    QSPublishSheet* sheet = f.sheet();
    QCOMPARE(sheet->keyLabel()->text(), QString("Stored: \u2022\u2022\u2022\u2022 cdef"));
    QVERIFY(!sheet->keyEdit()->isVisible());

    sheet->subdomainEdit()->setText("Not OK");
    sheet->checkAvailability();
    QVERIFY(sheet->availabilityLabel()->text().startsWith("'Not OK' can't be a subdomain"));
    QTest::mouseClick(sheet->publishButton(), Qt::LeftButton);
    QVERIFY(!sheet->isPublishing());
    QVERIFY(f.fake.requests().empty());

    f.fake.script.staticSites = {"taken"};
    sheet->subdomainEdit()->setText("taken");
    sheet->checkAvailability();
    QTRY_VERIFY_WITH_TIMEOUT(sheet->availabilityLabel()->text().startsWith("taken.brindle.site is taken."), kLong);
    QTest::mouseClick(sheet->publishButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!sheet->isPublishing(), kLong);
    QCOMPARE(sheet->phase().kind, QSPublishPhase::Kind::failed);
    QCOMPARE(sheet->phaseLabel()->text(), QString("'taken' already exists but isn't a Vapor-tier site."));
    QVERIFY(itemText(sheet, 0).startsWith("\u2713"));
    QCOMPARE(itemText(sheet, 1), QString("\u2717  Preparing your site\u2026"));
    QVERIFY(itemText(sheet, 2).startsWith("\u2022"));
    QVERIFY(!sheet->wasCancelled());
    QVERIFY(sheet->publishButton()->isEnabled());  // another try with another subdomain

    // Remove Key forgets it; a key stored meanwhile by 'qs hosting login' is seen by the next sheet.
    sheet->removeKey();
    QCOMPARE(sheet->keyLabel()->text(), QString("No key stored yet."));
    QVERIFY(!QSSettings::standard().isStored("qs.publishAPIKey"));
    sheet->close();
    QSSettings::standard().set("qs.publishAPIKey", std::string("other-key-99998888"));
    QCOMPARE(f.sheet()->keyLabel()->text(), QString("Stored: \u2022\u2022\u2022\u2022 8888"));
  }

  void cancelInTheMiddleOfTheBuildLeavesTheProjectAsItWas() {
    Fixture f;
    QVERIFY(f.start());
    std::filesystem::create_directories(f.project / ".build/debug");
    writeTextFile(f.project / ".build/debug/App", "binary");
    std::filesystem::create_symlink("Sources", f.project / "src-link");
    auto before = treeSnapshot(f.project);

    // The build prints a line, then nothing more for as long as the test needs.
    f.fake.script.logPages = {{"Compiling App"}};
    for (int i = 0; i < 100; ++i) f.fake.script.logPages.push_back({});
    QSPublishSheet* sheet = f.sheet();
    QTest::mouseClick(sheet->publishButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sheet->buildLog()->toPlainText(), QString("Compiling App"), kLong);
    QCOMPARE(sheet->phase().kind, QSPublishPhase::Kind::deploying);
    QCOMPARE(sheet->detailLabel()->text(), QString("Compiling your Vapor app from scratch. This usually takes a few "
                                                   "minutes \u2014 you can leave this open."));
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!sheet->isPublishing(), kLong);
    QVERIFY(sheet->wasCancelled());
    QCOMPARE(sheet->phaseLabel()->text(), QString("Publishing was cancelled."));
    QCOMPARE(itemText(sheet, 5), QString("\u2717  Building on Brindle Hosting\u2026"));
    QCOMPARE(sheet->buildLog()->toPlainText(), QString("Compiling App"));  // what the build printed stays
    QCOMPARE(treeSnapshot(f.project), before);
    QVERIFY(leftoverArchives().empty());
    // The sheet closes with the second press.
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    QTRY_VERIFY(!sheet->isVisible());
  }
};

QTEST_MAIN(PublishSheetTest)
#include "publish_sheet_test.moc"

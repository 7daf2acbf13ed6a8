// New Project from Site Document and Re-sync, driven to their ends against a real quaysided with
// the site fixtures: the files on disk, the project the daemon records, the selection.
#include "app/shell/app_delegate.h"
#include "app/site/sync_manifest.h"
#include "app/views/site_import_sheet.h"
#include "app/views/site_resync_sheet.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "support/app_window.h"

#include <QCheckBox>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <map>

using namespace qs;
using namespace qs::testing;
namespace fs = std::filesystem;

namespace {

fs::path fixture(const std::string& name) { return fs::path(qs::testing::fixturesFolder()) / "site" / name; }

// A daemon of the build serving the test's HOME, and the app and its window connected to it.
struct Fixture : AppWindow {
  bool start() { return startDaemon() && AppWindow::start(); }
  // Imports `document` through the sheet the window opens, as the user does.
  QSSiteImportSheet* openImport(const fs::path& document) {
    window->importSiteDocument(QString::fromStdString(document.string()));
    return window->findChild<QSSiteImportSheet*>();
  }
  bool import(const fs::path& document) {
    QSSiteImportSheet* sheet = openImport(document);
    if (!sheet) return false;
    QTest::mouseClick(sheet->createButton(), Qt::LeftButton);
    return QTest::qWaitFor([&] { return selected() && selected()->name == document.stem().string(); }, kLong);
  }
  // The toolbar's action of that text.
  QAction* action(const QString& text) {
    for (QAction* a : window->findChildren<QAction*>())
      if (a->text() == text) return a;
    return nullptr;
  }
  QSSiteResyncSheet* openResync() {
    window->resyncSelectedProject();
    return window->findChild<QSSiteResyncSheet*>();
  }
};

}  // namespace

class SiteSheetsTest : public QObject {
  Q_OBJECT
private slots:
  void importCreatesAddsAndSelectsTheProjectOrLeavesNothing() {
    Fixture f;
    QVERIFY(f.start());
    QSSiteImportSheet* sheet = f.openImport(fixture("shop.brp"));
    QVERIFY(sheet);
    QCOMPARE(sheet->nameEdit()->text(), QString("shop"));
    QCOMPARE(sheet->targetLabel()->text(), QString("Creates ~/Quayside/shop."));
    QVERIFY(sheet->gitBox()->isChecked());
    QTest::mouseClick(sheet->createButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(f.selected() && f.selected()->name == "shop", kLong);
    fs::path folder = QSPaths::projectsFolder() / "shop";
    QVERIFY(f.selected()->path == folder);
    QVERIFY(fileExists(folder / "Package.swift"));
    QVERIFY(fileExists(folder / ".git"));
    QTRY_VERIFY(!f.window->findChild<QSSiteImportSheet*>());  // closed (and deleted) when done

    // The same document again: the name is made unique among the projects, as qs site import does.
    sheet = f.openImport(fixture("shop.brp"));
    QCOMPARE(sheet->nameEdit()->text(), QString("shop-2"));
    sheet->nameEdit()->setText("My Shop!");
    QCOMPARE(sheet->targetLabel()->text(), QString("Creates ~/Quayside/my-shop."));
    sheet->gitBox()->setChecked(false);
    sheet->create();
    QTRY_VERIFY_WITH_TIMEOUT(f.selected() && f.selected()->name == "my-shop", kLong);
    QVERIFY(!fileExists(QSPaths::projectsFolder() / "my-shop" / ".git"));
    QTRY_VERIFY(!f.window->findChild<QSSiteImportSheet*>());

    // A folder of that name is there already: said before anything runs, in the import's words.
    fs::create_directories(QSPaths::projectsFolder() / "cafe");
    sheet = f.openImport(fixture("cafe.brp"));
    QCOMPARE(sheet->targetLabel()->text(), QString("A folder named \u201ccafe\u201d already exists in ~/Quayside."));
    QVERIFY(!sheet->createButton()->isEnabled());

    // Written, but the services can't take it: the new folder goes, so a retry finds the name free.
    sheet->setDocument(QString::fromStdString(fixture("minimal.brp").string()));
    f.model().disconnectFromServices();
    sheet->create();
    QTRY_VERIFY_WITH_TIMEOUT(sheet->messageLabel()->text().endsWith("The new folder was removed again."), kLong);
    QVERIFY(sheet->messageLabel()->text().startsWith(QSAppViewModel::notConnectedText));
    QVERIFY(!fileExists(QSPaths::projectsFolder() / "minimal"));
  }

  // The plan first (the conflict on a row of its own), Keep Mine keeps the user's file; a second
  // re-sync with Overwrite replaces it.
  void resyncKeepsOrOverwritesEachConflictAndCancelsCleanly() {
    Fixture f;
    QVERIFY(f.start());
    // Re-sync is offered for projects exported from a document only.
    QVERIFY(f.addProject("blog"));
    QVERIFY(!f.action("Re-sync from Site Document…")->isVisible());
    QVERIFY(f.import(fixture("minimal.brp")));
    QVERIFY(f.action("Re-sync from Site Document…")->isVisible());
    fs::path folder = f.selected()->path;
    fs::path index = folder / "Resources/Views/index.leaf";
    writeTextFile(index, "my own home page");
    // minimal.brp with its heading changed: the home page's view changes, nothing else.
    std::string text = readFile(fixture("minimal.brp"));
    text.replace(text.find("\"Hello\""), 7, "\"Hello again\"");
    fs::path changed = f.home.home() / "Designs" / "minimal-v2.brp";
    writeTextFile(changed, text);

    QSSiteResyncSheet* sheet = f.openResync();
    QVERIFY(sheet);
    QCOMPARE(sheet->documentEdit()->text(), QString::fromStdString(fixture("minimal.brp").string()));
    sheet->setDocument(QString::fromStdString(changed.string()));
    QTRY_VERIFY_WITH_TIMEOUT(sheet->hasPlan(), kLong);
    QComboBox* choice = sheet->choiceFor("Resources/Views/index.leaf");
    QVERIFY(choice);
    QCOMPARE(choice->currentText(), QString(QSSiteResyncSheet::keepMineText));
    QCOMPARE(sheet->planTable()->item(0, QSSiteResyncSheet::changeColumn)->text(),
             QString("Edited since the last export"));
    QVERIFY2(sheet->summaryLabel()->text().contains("1 conflict"), qPrintable(sheet->summaryLabel()->text()));
    QVERIFY(sheet->followBox()->isVisible());
    sheet->followBox()->setChecked(true);
    QTest::mouseClick(sheet->applyButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(sheet->isApplied(), kLong);
    QCOMPARE(readFile(index), std::string("my own home page"));
    QVERIFY2(sheet->messageLabel()->text().contains("1 edited file kept"), qPrintable(sheet->messageLabel()->text()));
    auto manifest = QSSyncManifest::read(folder);
    QCOMPARE(QSSyncManifest::bookmarkedPath(*manifest->sourceBrpBookmark), changed);
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);  // "Done"
    QTRY_VERIFY(!f.window->findChild<QSSiteResyncSheet*>());

    // Again, from the document it now follows: the kept edit is a conflict still.
    sheet = f.openResync();
    QCOMPARE(sheet->documentEdit()->text(), QString::fromStdString(changed.string()));
    QTRY_VERIFY_WITH_TIMEOUT(sheet->hasPlan(), kLong);
    QVERIFY(!sheet->followBox()->isVisible());
    QTest::mouseClick(sheet->overwriteAllButton(), Qt::LeftButton);
    QCOMPARE(sheet->choiceFor("Resources/Views/index.leaf")->currentText(), QString(QSSiteResyncSheet::overwriteText));
    sheet->apply();
    QTRY_VERIFY_WITH_TIMEOUT(sheet->isApplied(), kLong);
    QVERIFY(readFile(index).find("Hello again") != std::string::npos);
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    QTRY_VERIFY(!f.window->findChild<QSSiteResyncSheet*>());

    // Cancel after the plan changes nothing, byte for byte; a file edited between the plan and
    // Apply is not written over: the new plan is shown instead.
    QString original = QString::fromStdString(fixture("minimal.brp").string());
    writeTextFile(folder / "Resources/Views/base.leaf", "my layout");
    auto before = treeSnapshot(folder);
    sheet = f.openResync();
    sheet->setDocument(original);
    QTRY_VERIFY_WITH_TIMEOUT(sheet->hasPlan(), kLong);
    sheet->choiceFor("Resources/Views/base.leaf")->setCurrentIndex(1);
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    QTRY_VERIFY(!f.window->findChild<QSSiteResyncSheet*>());
    QVERIFY(treeSnapshot(folder) == before);

    sheet = f.openResync();
    sheet->setDocument(original);
    QTRY_VERIFY_WITH_TIMEOUT(sheet->hasPlan(), kLong);
    QVERIFY(!sheet->choiceFor("Resources/Views/index.leaf"));
    writeTextFile(index, "edited after the plan");
    before = treeSnapshot(folder);
    sheet->apply();
    QTRY_VERIFY_WITH_TIMEOUT(sheet->hasPlan() && sheet->choiceFor("Resources/Views/index.leaf"), kLong);
    QVERIFY(!sheet->isApplied());
    QVERIFY(sheet->messageLabel()->text().startsWith("Files of the project changed since the plan was made"));
    QVERIFY(treeSnapshot(folder) == before);
  }
};

QTEST_MAIN(SiteSheetsTest)
#include "site_sheets_test.moc"

// The window's ways in and out: files handed to the app (documents, folders, projects it has) and
// projects and consoles handed to editors and terminals (programs that record how they were started).
#include "app/shell/file_opener.h"
#include "app/views/applications_page.h"
#include "app/views/databases_tab.h"
#include "app/views/settings_window.h"
#include "core/daemon/desktop_entry.h"
#include "core/platform/files.h"
#include "support/app_window.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>

#include <sys/stat.h>

using namespace qs;
using namespace qs::testing;

namespace {

using Words = std::vector<std::string>;

struct Fixture : AppWindow {
  TemporaryFolder bin, records;
  // Recording stand-ins shadow the machine's own terminal and opener.
  ScopedEnvironment path{std::map<std::string, std::optional<std::string>>{
      {"PATH", bin.path().string() + ":" + AppTestHome::testPath()}, {"XDG_DATA_DIRS", (bin / "share").string()}}};

  bool start() { return AppWindow::start() && QTest::qWaitFor([&] { return model().isStartupComplete(); }, kLong); }
  bool openAndWait(const QStringList& paths) {
    window->openFiles(paths);
    return QTest::qWaitFor([&] { return !window->fileOpener()->isBusy(); }, kLong);
  }
  void program(const std::string& name) {
    std::filesystem::path file = bin / name, record = records / name;
    writeTextFile(file, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > '" + record.string() + ".tmp' && /bin/mv '" +
                            record.string() + ".tmp' '" + record.string() + "'\n");
    ::chmod(file.c_str(), 0755);
  }
  Words launched(const std::string& name) {
    std::filesystem::path record = records / name;
    if (!QTest::qWaitFor([&] { return fileExists(record); }, kLong)) return {};
    Words words;
    std::string line;
    for (char c : readTextFile(record))
      if (c == '\n') words.push_back(std::exchange(line, {}));
      else line += c;
    std::filesystem::remove(record);
    return words;
  }
};

}  // namespace

class DesktopIntegrationTest : public QObject {
  Q_OBJECT
private slots:
  // A document becomes a project named after it, with its first commit; a folder is added; a
  // folder that already is a project is selected and nothing is added; failures are shown.
  void openingDocumentsAndFolders() {
    Fixture f;
    QVERIFY(f.start());
    std::filesystem::path blog = f.home.vaporProject("blog");
    std::filesystem::create_directories(f.home.home() / "notes");
    QVERIFY(f.openAndWait({QString::fromStdString(qs::testing::fixturesFolder()) + "/site/shop.brp", qstr(blog)}));
    QCOMPARE(f.model().projects().size(), 2u);
    const QSProject* shop = nullptr;
    for (const QSProject& p : f.model().projects())
      if (p.name == "shop") shop = &p;
    QVERIFY(shop);
    QVERIFY(isDirectory(shop->path / ".git"));
    QCOMPARE(f.selected()->name, std::string("blog"));
    QCOMPARE(f.window->messageLabel()->text(), QString());

    f.window->sidebar()->selectProject(shop->id);
    QVERIFY(f.openAndWait({qstr(blog) + "/"}));
    QCOMPARE(f.model().projects().size(), 2u);
    QCOMPARE(f.selected()->name, std::string("blog"));

    // The same document again is a second project, named so that it differs.
    QVERIFY(f.openAndWait({QString::fromStdString(qs::testing::fixturesFolder()) + "/site/shop.brp", qstr(f.home.home() / "missing.brp"),
                           qstr(f.home.home() / "notes")}));
    QCOMPARE(f.model().projects().size(), 3u);
    QCOMPARE(f.selected()->name, std::string("shop-2"));
    QString message = f.window->messageLabel()->text();
    QVERIFY2(message.startsWith("Couldn't import " + qstr(f.home.home() / "missing.brp") + ": "), qPrintable(message));
    QVERIFY2(message.contains("\nCouldn't open " + qstr(f.home.home() / "notes") + ": "), qPrintable(message));
  }

  void projectsAndConsolesOpenInThePreferredApplications() {
    Fixture f;
    f.program("x-terminal-emulator");
    f.program("code");
    f.program("xdg-open");
    QVERIFY(f.start());
    QVERIFY(f.openAndWait({qstr(f.home.vaporProject("blog"))}));
    const QSProject project = *f.selected();

    // System Default: Package.swift with the desktop's default application.
    for (QAction* a : f.window->findChild<QToolBar*>()->actions())
      if (a->text() == "Open in Editor") a->trigger();
    QCOMPARE(f.launched("xdg-open"), (Words{(f.bin / "xdg-open").string(), (project.path / "Package.swift").string()}));
    QCOMPARE(f.window->messageLabel()->text(), QString("Opened blog in the default application."));

    // Chosen in Settings, from what is installed.
    QSSettingsWindow settings(*f.app);
    auto* page = settings.findChild<QSApplicationsPage*>();
    QVERIFY(page);
    QComboBox* editors = page->editorBox();
    QCOMPARE(editors->count(), 2);
    QCOMPARE(editors->itemText(1), QString("VS Code"));
    editors->setCurrentIndex(1);
    emit editors->activated(1);
    QCOMPARE(f.app->settings().stringValue("qs.preferredEditor"), std::string("vscode"));
    QCOMPARE(page->terminalBox()->count(), 1);  // only the desktop's default here

    QMenu* menu = f.window->sidebar()->contextMenu(project.id);
    menu->actions().at(0)->trigger();
    QCOMPARE(f.launched("code"), (Words{(f.bin / "code").string(), project.path.string()}));
    QCOMPARE(f.window->messageLabel()->text(), QString("Opened blog in VS Code."));
    menu->actions().at(1)->trigger();
    delete menu;
    std::filesystem::path consoles = f.home.home() / ".local/share/Quayside/consoles";
    QCOMPARE(f.launched("x-terminal-emulator"),
             (Words{(f.bin / "x-terminal-emulator").string(), "-e", (consoles / "blog.sh").string()}));
    QVERIFY(readTextFile(consoles / "blog.sh").ends_with("cd " + project.path.string() + " && exec \"${SHELL:-/bin/sh}\"\n"));

    // A database's console runs its client in the terminal.
    QSDatabasesTab* tab = f.window->databasesTab();
    tab->typeBox()->setCurrentIndex(tab->typeBox()->findText("SQLite"));
    QTest::mouseClick(tab->provisionButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(tab->table()->rowCount(), 1, kLong);
    QTest::mouseClick(tab->openConsoleButton(), Qt::LeftButton);
    const QSDatabase* database = f.model().database(f.selected()->databaseID);
    std::filesystem::path script = consoles / (database->name + "-console.sh");
    QCOMPARE(f.launched("x-terminal-emulator"), (Words{(f.bin / "x-terminal-emulator").string(), "-e", script.string()}));
    QVERIFY(readTextFile(script).ends_with("\n" + QSDatabasesTab::terminalCommandFor(*database).toStdString()));
    QVERIFY(QSDatabasesTab::terminalCommandFor(*database).startsWith("/usr/bin/sqlite3 "));
  }

  void theDesktopEntryOpensDocumentsAndFolders() {
    std::string entry = QSDesktopEntry::text("/opt/quayside/quayside-app");
    QVERIFY(entry.find("\nExec=\"/opt/quayside/quayside-app\" %F\n") != std::string::npos);
    QVERIFY(entry.find("\nMimeType=application/x-brp;inode/directory;\n") != std::string::npos);
    QVERIFY(QSDesktopEntry::mimePackageText().find("<glob pattern=\"*.brp\"/>") != std::string::npos);
  }
};

QTEST_MAIN(DesktopIntegrationTest)
#include "desktop_integration_test.moc"

// The windows driven by real clicks against the engine this process runs, with the test
// toolchain: each tab's action goes to the engine and its outcome comes back into the widgets.
#include "app/viewmodels/server_view_model.h"
#include "app/views/databases_tab.h"
#include "app/views/domains_tab.h"
#include "app/views/environment_tab.h"
#include "app/views/logs_tab.h"
#include "app/views/overview_tab.h"
#include "app/views/project_dialogs.h"
#include "app/views/settings_window.h"
#include "app/views/tray_icon.h"
#include "core/platform/files.h"
#include "support/app_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTabWidget>
#include <QTest>

#include <asio/ip/tcp.hpp>

using namespace qs;
using namespace qs::testing;
using namespace std::chrono_literals;

namespace {

// An app that owns the services, a main window, and one project added through the window.
struct Fixture : AppWindow {
  const QSProject& project() { return *selected(); }
  QSServerViewModel* server() { return model().serverViewModel(project().id); }
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
private slots:
  void overviewTrayAndLogsFollowTheServer() {
    Fixture f;
    QVERIFY(f.start());
    QVERIFY(f.addProject("blog"));
    QListWidget* list = f.window->sidebar()->list();
    QCOMPARE(list->count(), 1);
    QVERIFY(list->item(0)->text().startsWith("blog\nhttp://localhost:"));
    QSOverviewTab* tab = f.window->overviewTab();
    QTest::mouseClick(tab->updatePackagesButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(tab->packageStatusLabel()->text(), QString("Packages updated"), kLong);
    QTest::mouseClick(tab->startButton(), Qt::LeftButton);
    QTRY_VERIFY2_WITH_TIMEOUT(tab->stateLabel()->text().startsWith("Running"), qPrintable(tab->stateLabel()->text()),
                              kLong);
    QVERIFY(tab->stopButton()->isEnabled());
    QVERIFY(!tab->startButton()->isEnabled());
    QTest::mouseClick(tab->stopButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(tab->stateLabel()->text(), QString("Stopped"), kLong);

    QSTrayIcon tray(*f.app);
    tray.rebuild();
    QStringList items;
    for (QAction* a : tray.menu()->actions()) items << a->text();
    QVERIFY2(items.contains("blog — Stopped"), qPrintable(items.join("|")));
    QVERIFY(!items.contains("Daemon Out of Date"));
    QMenu* project = tray.menu()->actions().front()->menu();
    QCOMPARE(project->actions().front()->text(), QString("Start"));
    project->actions().front()->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(f.server()->server().status, QSServerStatus::running, kLong);

    // The Logs tab shows the console and the requests.
    asio::ip::tcp::iostream stream("127.0.0.1", std::to_string(f.project().port));
    stream << "GET /hello HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n" << std::flush;
    QVERIFY(std::string(std::istreambuf_iterator<char>(stream), {}).find("Hello, world!") != std::string::npos);
    QSLogsTab* logs = f.window->logsTab();
    QTRY_VERIFY_WITH_TIMEOUT(logs->requestTable()->model()->rowCount() == 1, kLong);
    QAbstractItemModel* requests = logs->requestTable()->model();
    QCOMPARE(requests->index(0, 1).data().toString(), QString("GET"));
    QCOMPARE(requests->index(0, 2).data().toString(), QString("/hello"));
    QTRY_VERIFY(logs->console()->toPlainText().contains("Server started on http://"));
    // A window that connects later shows what was printed and requested before it came.
    QSAppDelegate later(QSSettings::standard(), {.lockWait = 0ms});
    later.startUp();
    QSMainWindow laterWindow(later);
    QTRY_VERIFY_WITH_TIMEOUT(laterWindow.logsTab()->console()->toPlainText().contains("Server started on http://"), kLong);
    QTRY_COMPARE_WITH_TIMEOUT(laterWindow.logsTab()->requestTable()->model()->rowCount(), 1, kLong);
    QTest::mouseClick(logs->clearButton(), Qt::LeftButton);
    QCOMPARE(logs->console()->toPlainText(), QString());

    // A flood of console lines: every line reaches the model, the view keeps the newest 500.
    std::uint64_t before = f.server()->consoleLinesReceived();
    for (int i = 0; i < 20000; ++i) f.server()->ingestConsoleLine("flood line " + std::to_string(i));
    logs->flushConsole();
    QCOMPARE(f.server()->consoleLinesReceived(), before + 20000);
    QCOMPARE(f.server()->consoleOutput().front(), QString("flood line 19500"));
    QCOMPARE(logs->console()->blockCount(), int(QSServerViewModel::maxConsoleLines));
    QVERIFY(logs->console()->toPlainText().endsWith("flood line 19999"));
  }

  void environmentEditsAndDatabasesReachTheProject() {
    Fixture f;
    QVERIFY(f.start());
    QVERIFY(f.addProject("blog"));
    QSEnvironmentTab* tab = f.window->environmentTab();
    tab->addVariable("GREETING", "hello");
    QTRY_COMPARE_WITH_TIMEOUT(tab->table()->rowCount(), 2, kLong);  // PORT and GREETING
    std::filesystem::path dotenv = f.project().path / ".env";
    QVERIFY(readTextFile(dotenv).find("GREETING=hello") != std::string::npos);
    // Unticking "On" keeps the variable, commented out.
    int row = tab->table()->findItems("GREETING", Qt::MatchExactly).front()->row();
    tab->table()->item(row, QSEnvironmentTab::enabledColumn)->setCheckState(Qt::Unchecked);
    QTRY_VERIFY_WITH_TIMEOUT(readTextFile(dotenv).find("# GREETING=hello") != std::string::npos, kLong);
    tab->table()->setCurrentCell(row, 0);
    QTest::mouseClick(tab->removeButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(tab->table()->rowCount(), 1, kLong);
    QVERIFY(readTextFile(dotenv).find("GREETING") == std::string::npos);

    // A database provisioned from its tab is linked to the project.
    QSDatabasesTab* databases = f.window->databasesTab();
    databases->typeBox()->setCurrentIndex(databases->typeBox()->findText("SQLite"));
    QTest::mouseClick(databases->provisionButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(databases->table()->rowCount(), 1, kLong);
    QCOMPARE(databases->table()->item(0, QSDatabasesTab::typeColumn)->text(), QString("SQLite"));
    QString command = databases->consoleCommand()->text();
    QVERIFY(command.startsWith("sqlite3 "));
    QString file = command.mid(8).remove('\'');  // quoted only when the path needs it
    QVERIFY(QFileInfo(file).isFile());            // the database's file
    QVERIFY(f.project().databaseID.has_value());
    // Its variables show as the database's in the Environment tab.
    QTableWidget* env = f.window->environmentTab()->table();
    QTRY_VERIFY(!env->findItems("DATABASE_URL", Qt::MatchExactly).isEmpty());
    int linked = env->findItems("DATABASE_URL", Qt::MatchExactly).front()->row();
    QVERIFY(!env->item(linked, QSEnvironmentTab::linkColumn)->text().isEmpty());
  }

  void domainsSaveAndRemoveThenTheProjectGoes() {
    Fixture f;
    QVERIFY(f.start());
    QVERIFY(f.addProject("blog"));
    QSDomainsTab* tab = f.window->domainsTab();
    QCOMPARE(tab->hostnameEdit()->text(), QString("blog.test"));
    tab->hostnameEdit()->setText("journal.test");
    QTest::mouseClick(tab->saveButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(f.project().domain.has_value(), kLong);
    QCOMPARE(f.project().domain->hostname, std::string("journal.test"));
    QTRY_VERIFY(tab->removeButton()->isEnabled());
    QTest::mouseClick(tab->removeButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!f.project().domain.has_value(), kLong);
    // A name the engine refuses comes back into the tab.
    tab->hostnameEdit()->setText("not a name");
    QTest::mouseClick(tab->saveButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(tab->messageLabel()->isVisibleTo(tab) && !tab->messageLabel()->text().isEmpty(), kLong);
    QVERIFY(!f.project().domain.has_value());

    std::filesystem::path folder = f.project().path;
    QSRemoveProjectDialog dialog(f.model(), f.project().id);
    dialog.trashBox()->setChecked(true);
    dialog.remove();
    QTRY_COMPARE_WITH_TIMEOUT(f.model().projects().size(), 0u, kLong);
    QVERIFY(!fileExists(folder));  // in the trash now
  }

  // The dialog scaffolds a project (a folder that is none: the desktop integration test).
  void newProjectsFromTheDialog() {
    Fixture f;
    QVERIFY(f.start());
    QSNewProjectDialog dialog(f.model());
    dialog.nameEdit()->setText("fresh");
    dialog.folderEdit()->setText(qstr(f.home.home()));
    dialog.create();
    QTRY_COMPARE_WITH_TIMEOUT(dialog.result(), int(QDialog::Accepted), kLong);
    QCOMPARE(f.model().projects().size(), 1u);
    QVERIFY(fileExists(f.home.home() / "fresh" / "Package.swift"));

    // The daemon choice in Settings only changes the next launch.
    QSSettingsWindow settings(*f.app);
    QVERIFY(!settings.useDaemonBox()->isChecked());
    settings.useDaemonBox()->click();
    QVERIFY(QSSettings::standard().boolValue("qs.useDaemon"));
    QCOMPARE(f.app->mode(), QSAppDelegate::Mode::inProcess);
    QVERIFY(settings.daemonLabel()->text().contains("runs the services itself"));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"

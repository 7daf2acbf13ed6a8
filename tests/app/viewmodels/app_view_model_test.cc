// The application model: events and a lost connection applied directly, and operations against the
// real engine this process runs (failures reach the caller; edits from qs and the app both land in .env).
#include "app/shell/app_delegate.h"
#include "app/viewmodels/app_view_model.h"
#include "app/viewmodels/server_view_model.h"
#include "core/protocol/daemon_command.h"
#include "support/child_programs.h"

#include <QSignalSpy>
#include <QTest>

using namespace qs;
using namespace qs::testing;

namespace {

QSDatabase databaseNamed(const std::string& name, QSDatabaseStatus status) {
  QSDatabase d = QSDatabase::make(name, QSDatabaseType::postgresql, 5432);
  d.status = status;
  return d;
}

}  // namespace

class AppViewModelTest : public QObject {
  Q_OBJECT
private slots:
  void eventTable() {
    QSAppViewModel model;
    QSProject blog;
    blog.name = "blog";
    blog.path = "/tmp/blog";
    QSDatabase known = databaseNamed("blog", QSDatabaseStatus::stopped);
    QSFullStatus status;
    status.projects = {blog};
    status.databases = {known};
    model.applyStatus(status);
    QSignalSpy projects(&model, &QSAppViewModel::projectsChanged);
    QSignalSpy databases(&model, &QSAppViewModel::databasesChanged);

    model.applyStatus(status);  // the same again: nobody is told
    QCOMPARE(projects.count(), 0);
    QCOMPARE(databases.count(), 0);

    QSDatabase other = databaseNamed("shop", QSDatabaseStatus::running);
    model.apply(evt::DatabaseChanged{other});  // an id not listed yet is appended
    QCOMPARE(model.databases().size(), 2u);
    known.status = QSDatabaseStatus::running;
    model.apply(evt::DatabaseChanged{known});  // a listed one is replaced
    QCOMPARE(model.databases()[0].status, QSDatabaseStatus::running);
    QCOMPARE(model.databases().size(), 2u);

    QSServer running;
    running.id = blog.id;
    running.status = QSServerStatus::running;
    running.port = blog.port;
    model.apply(evt::ServerChanged{running});
    QCOMPARE(model.serverViewModel(blog.id)->server().status, QSServerStatus::running);

    model.apply(evt::LogLine{svc::Server{blog.id}, "[ INFO ] GET /hello 200 (1.0ms)"});
    model.apply(evt::LogLine{svc::Database{known.id}, "database line"});  // not a project's console
    QCOMPARE(model.serverViewModel(blog.id)->consoleOutput().size(), 1u);
    QCOMPARE(model.serverViewModel(blog.id)->logs().size(), 1u);

    QSLogEntry stray;
    stray.projectID = QSUUID::random();
    model.apply(evt::RequestLogged{stray});  // no such project: dropped, no model made
    QSLogEntry mine;
    mine.projectID = blog.id;
    mine.path = "/other";
    model.apply(evt::RequestLogged{mine});
    QCOMPARE(model.serverViewModel(blog.id)->logs().size(), 2u);
  }

  // A connection lost while not connected (after a normal disconnect) changes nothing.
  void connectionLostOnlyWhileConnected() {
    QSAppViewModel model;
    bool called = false;
    model.onConnectionLost = [&] { called = true; };
    QSFullStatus status;
    status.network.dnsRunning = true;
    model.applyStatus(status);
    model.handleConnectionLost();
    QVERIFY(!called);
    QVERIFY(model.network().dnsRunning);
  }

  // Failures reach the caller and change nothing; the app and qs editing one .env at once both land.
  void failuresReachTheCallerAndEditsFromQsAndTheAppBothLand() {
    AppTestHome home;
    std::filesystem::path folder = home.vaporProject("blog", "# keep me\nEXISTING=1\n");
    QSAppDelegate app(QSSettings::standard(), {.lockWait = std::chrono::milliseconds(0)});
    app.startUp();
    QTRY_COMPARE_WITH_TIMEOUT(app.mode(), QSAppDelegate::Mode::inProcess, 30000);
    QSAppViewModel& model = app.appViewModel();
    std::filesystem::path notVapor = home.home() / "plain";
    std::filesystem::create_directories(notVapor);
    QString error = "unset";
    QSignalSpy projects(&model, &QSAppViewModel::projectsChanged);
    model.addProject(qstr(notVapor), [&](const QString& e) { error = e; });
    QTRY_VERIFY(error != "unset");
    QVERIFY2(error.contains("Package.swift") || error.contains("Vapor"), qPrintable(error));
    QCOMPARE(model.projects().size(), 0u);
    QCOMPARE(projects.count(), 0);

    error = "unset";
    model.addProject(qstr(folder), [&](const QString& e) { error = e; });
    QTRY_COMPARE(error, QString());
    QSUUID id = model.projects().front().id;
    QString appOutcome = "unset";
    model.setEnvVar(id, "FROM_APP", "1", [&](const QString& e) { appOutcome = e; });
    std::string qsOutput = runQs(home, {"env", "blog", "set", "FROM_QS", "2"}).output;
    QTRY_COMPARE(appOutcome, QString());
    auto keys = [&] {
      QStringList out;
      for (const auto& v : model.project(id)->environmentVariables) out << QString::fromStdString(v.key);
      return out;
    };
    QTRY_VERIFY2(keys().contains("FROM_QS") && keys().contains("FROM_APP"), qPrintable(keys().join(",")));
    std::string dotenv = readTextFile(folder / ".env");
    QVERIFY2(dotenv.find("FROM_APP=1") != std::string::npos, dotenv.c_str());
    QVERIFY2(dotenv.find("FROM_QS=2") != std::string::npos, (dotenv + qsOutput).c_str());
    QVERIFY2(dotenv.find("# keep me") != std::string::npos, dotenv.c_str());
  }
};

QTEST_GUILESS_MAIN(AppViewModelTest)
#include "app_view_model_test.moc"

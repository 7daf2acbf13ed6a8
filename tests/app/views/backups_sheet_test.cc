// The Backups sheet driven to its end against the engine this process runs and the PostgreSQL
// of the OS packages: Back Up Now, Restore after a change (the change is gone), Prune to the
// retention, and the schedule's settings.
#include "app/views/backups_sheet.h"
#include "core/databases/backup_service.h"
#include "core/databases/service_catalogue.h"
#include "core/models/settings_catalogue.h"
#include "core/platform/files.h"
#include "core/platform/process_runner.h"
#include "core/protocol/daemon_command.h"
#include "support/app_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

using namespace qs;
using namespace qs::testing;

namespace {

constexpr int kPostgresLong = 120000;  // a first PostgreSQL cluster is made on the way

struct Fixture : AppWindow {
  std::filesystem::path data = home.home() / ".local/share/Quayside";

  ~Fixture() {
    window.reset();
    app.reset();
    // PostgreSQL runs detached from whoever started it.
    if (fileExists(data / "postgresql/data/postmaster.pid"))
      runProcess({(data / "services/postgresql-system/bin/pg_ctl").string(), "stop", "-D",
                  (data / "postgresql/data").string(), "-m", "immediate"});
  }

  // The app owning the services, with the project blog selected.
  bool start() { return AppWindow::start(kPostgresLong) && addProject("blog"); }
  const QSProject& project() { return *selected(); }
  QString provision(QSDatabaseType type) {
    std::optional<QString> outcome;
    model().perform(cmd::ProvisionDatabase{.projectID = project().id, .type = type},
                    [&](const QString& error) { outcome = error; });
    if (!QTest::qWaitFor([&] { return outcome.has_value(); }, kPostgresLong)) return "no answer";
    // The answer can come before the events that bring the new record into the mirror.
    if (outcome->isEmpty() &&
        !QTest::qWaitFor([&] { return model().database(project().databaseID) != nullptr; }, kPostgresLong))
      return "the database never reached the mirror";
    return *outcome;
  }
  const QSDatabase& database() { return *model().database(project().databaseID); }
  std::string psql(const std::string& sql) {
    auto result = runProcess({(data / "services/postgresql-system/bin/psql").string(), "-X", "-tA",
                              database().connectionString(), "-c", sql});
    if (!result.succeeded()) return "psql failed: " + result.errorOutput;
    std::string out = result.output;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
};

// Clicks the button of the open question whose text is `action`.
bool answer(QSBackupsSheet* sheet, const QString& action) {
  if (!QTest::qWaitFor([&] { return sheet->confirmation() != nullptr; }, 5000)) return false;
  for (QAbstractButton* b : sheet->confirmation()->buttons())
    if (b->text() == action) {
      b->click();
      return true;
    }
  return false;
}

QString cell(QSBackupsSheet* sheet, int row, int column) { return sheet->table()->item(row, column)->text(); }

}  // namespace

class BackupsSheetTest : public QObject {
  Q_OBJECT
private slots:
  void aProjectWithoutSnapshotCapableDatabasesSaysWhy() {
    Fixture f;
    QVERIFY(f.start());
    QSBackupsSheet* none = f.window->openBackupsSheet();
    QVERIFY(none->emptyLabel()->text().startsWith("blog has no database yet."));
    QVERIFY(!none->backUpButton()->isEnabled());
    none->close();
    QCOMPARE(f.provision(QSDatabaseType::sqlite), QString());
    QSBackupsSheet* sqlite = f.window->openBackupsSheet();
    QCOMPARE(sqlite->emptyLabel()->text(),
             QString("Backups aren't supported for SQLite \u2014 only PostgreSQL and MySQL can be dumped."));
    QVERIFY(!sqlite->backUpButton()->isEnabled());
    QVERIFY(!sqlite->pruneButton()->isEnabled());
  }

  void backUpRestoreAndPrune() {
    if (!QSSystemEngines().isPresent(QSDatabaseType::postgresql)) QSKIP("PostgreSQL is not installed");
    Fixture f;
    QVERIFY(f.start());
    QCOMPARE(f.provision(QSDatabaseType::postgresql), QString());
    std::string made = f.psql("CREATE TABLE posts (title TEXT); INSERT INTO posts VALUES ('first')");
    QVERIFY2(made == "CREATE TABLE\nINSERT 0 1", made.c_str());

    QSBackupsSheet* sheet = f.window->openBackupsSheet();
    QCOMPARE(sheet->databaseBox()->currentText(), QString::fromStdString(f.database().name) + " (PostgreSQL)");
    QVERIFY(sheet->emptyLabel()->text().startsWith("No snapshots of "));
    QVERIFY(!sheet->table()->isVisibleTo(sheet));

    // Back Up Now: busy while the dump runs, then the snapshot is listed with its size.
    QTest::mouseClick(sheet->backUpButton(), Qt::LeftButton);
    QVERIFY(sheet->isBusy());
    QVERIFY(sheet->progressBar()->isVisibleTo(sheet));
    QVERIFY(!sheet->backUpButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!sheet->isBusy(), kPostgresLong);
    QVERIFY2(sheet->messageLabel()->text().startsWith("Backed up "), qPrintable(sheet->messageLabel()->text()));
    QCOMPARE(sheet->table()->rowCount(), 1);
    QString first = cell(sheet, 0, QSBackupsSheet::nameColumn);
    QVERIFY(first.endsWith(".sql"));
    QVERIFY(cell(sheet, 0, QSBackupsSheet::sizeColumn).endsWith("KB"));
    QVERIFY(!sheet->progressBar()->isVisibleTo(sheet));

    // Restore after a change: the question names what is replaced; the change is gone.
    std::string changed = f.psql("UPDATE posts SET title = 'changed'");
    QVERIFY2(changed == "UPDATE 1", changed.c_str());
    sheet->table()->selectRow(0);
    QTest::mouseClick(sheet->restoreButton(), Qt::LeftButton);
    QVERIFY(sheet->confirmation());
    QString question = sheet->confirmation()->text();
    QVERIFY2(question.startsWith("Replace everything in " + QString::fromStdString(f.database().name) +
                                 " (PostgreSQL) with " + first + "?"),
             qPrintable(question));
    QVERIFY(answer(sheet, "Replace " + QString::fromStdString(f.database().name)));
    QVERIFY(sheet->isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!sheet->isBusy(), kPostgresLong);
    QVERIFY2(sheet->messageLabel()->text().startsWith("Restored "), qPrintable(sheet->messageLabel()->text()));
    std::string title = f.psql("SELECT title FROM posts");
    QVERIFY2(title == "first", title.c_str());
    QCOMPARE(sheet->table()->rowCount(), 2);  // newest first: what the database held before the restore
    QVERIFY(cell(sheet, 0, QSBackupsSheet::nameColumn).endsWith("-before-restore.sql"));

    // Declining a question changes nothing.
    QTest::mouseClick(sheet->restoreButton(), Qt::LeftButton);
    QVERIFY(answer(sheet, "Cancel"));
    QVERIFY(!sheet->isBusy());

    // Prune keeps the retention's count, the newest ones; the retention is the scheduler's setting.
    QSBackupService service(QSServiceRegistry(QSServiceRegistry::defaultFile()));
    std::filesystem::path folder = service.directory(f.database());
    std::filesystem::copy_file(folder / first.toStdString(), folder / "old-2020-01-01-000000.sql");
    std::filesystem::last_write_time(folder / "old-2020-01-01-000000.sql",
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 365));
    sheet->reload();
    QCOMPARE(sheet->table()->rowCount(), 3);
    QCOMPARE(cell(sheet, 2, QSBackupsSheet::nameColumn), QString("old-2020-01-01-000000.sql"));
    sheet->retentionBox()->setValue(2);
    QCOMPARE(QSSettings::standard().intValue(QSSettingsCatalogue::backupRetention), 2LL);
    QTest::mouseClick(sheet->pruneButton(), Qt::LeftButton);
    QCOMPARE(sheet->confirmation()->text(),
             "Delete the 1 oldest snapshot(s) of " + QString::fromStdString(f.database().name) + ", keeping the newest 2?");
    QVERIFY(answer(sheet, "Delete"));
    QTRY_VERIFY_WITH_TIMEOUT(!sheet->isBusy(), kPostgresLong);
    QCOMPARE(sheet->messageLabel()->text(),
             "Deleted 1 of " + QString::fromStdString(f.database().name) + "'s snapshots; 2 kept.");
    QCOMPARE(sheet->table()->rowCount(), 2);
    QVERIFY(!fileExists(folder / "old-2020-01-01-000000.sql"));
    QVERIFY(fileExists(folder / first.toStdString()));

    // The schedule is stored for whoever runs the scheduler.
    QVERIFY(!sheet->scheduleBox()->isChecked());
    sheet->scheduleBox()->click();
    sheet->intervalBox()->setValue(6);
    QSSettings stored = QSSettings::standard();
    QVERIFY(stored.boolValue(QSSettingsCatalogue::backupEnabled));
    QCOMPARE(stored.intValue(QSSettingsCatalogue::backupIntervalHours), 6LL);
    // A sheet opened later shows what is stored.
    sheet->close();
    QSBackupsSheet* again = f.window->openBackupsSheet();
    QVERIFY(again->scheduleBox()->isChecked());
    QCOMPARE(again->intervalBox()->value(), 6);
    QCOMPARE(again->retentionBox()->value(), 2);
  }
};

QTEST_MAIN(BackupsSheetTest)
#include "backups_sheet_test.moc"

#include "app/views/backups_sheet.h"

#include "app/shell/app_delegate.h"
#include "app/shell/gui_thread.h"
#include "app/viewmodels/app_view_model.h"
#include "app/views/view_style.h"
#include "core/databases/backup_error.h"
#include "core/databases/backup_service.h"
#include "core/models/settings_catalogue.h"

#include <fmt/format.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <cmath>

namespace qs {

namespace keys = QSSettingsCatalogue;
namespace fs = std::filesystem;

namespace {

QString qtext(const std::string& text) { return QString::fromStdString(text); }

// "812 bytes", "12.3 KB", "104.9 MB", in decimal units as file sizes are shown.
QString sizeText(std::int64_t bytes) {
  if (bytes < 1000) return QString("%1 bytes").arg(bytes);
  const char* units[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  int unit = -1;
  while (value >= 1000 && unit < 3) value /= 1000, ++unit;
  return QString("%1 %2").arg(value, 0, 'f', 1).arg(units[unit]);
}

QString dateText(QSTimestamp at) {
  auto ms = at.time_since_epoch().count();
  return QLocale().toString(QDateTime::fromMSecsSinceEpoch(ms), "d MMM yyyy, HH:mm:ss");
}

// The backup service as `qs db backup` uses it, reaching the engine on the port the services
// report for it.
QSBackupService serviceFor(const QSDatabase& database) {
  QSBackupService::PortLookup port;
  if (database.port > 0) port = [p = database.port](QSDatabaseType) { return p; };
  return QSBackupService(QSServiceRegistry(QSServiceRegistry::defaultFile()), QSBackupService::rootDirectory(), port);
}

// A failed dump or restore of a database the services last saw stopped: the likely cause is
// added to the tool's words.
std::string withStoppedHint(const QSDatabase& database, const QSBackupException& e) {
  std::string text = e.what();
  if (e.error().is<backupError::CommandFailed>() && database.status != QSDatabaseStatus::running)
    text += "\n" + database.name + " isn't running: start it on the Databases tab first.";
  return text;
}

}  // namespace

QSBackupsSheet::QSBackupsSheet(QSAppDelegate& app, QSUUID projectID, QWidget* parent)
    : QDialog(parent),
      app_(app),
      projectID_(projectID),
      database_(new QComboBox(this)),
      table_(new QTableWidget(0, 3, this)),
      empty_(new QLabel(this)),
      folder_(new QLabel(this)),
      backUp_(new QPushButton("Back Up Now", this)),
      restore_(new QPushButton("Restore…", this)),
      restoreFile_(new QPushButton("Restore from File…", this)),
      prune_(new QPushButton("Prune", this)),
      progress_(new QProgressBar(this)),
      progressText_(new QLabel(this)),
      message_(makeMessageLabel(this)),
      schedule_(new QCheckBox("Take snapshots of every PostgreSQL and MySQL database automatically", this)),
      interval_(new QSpinBox(this)),
      retention_(new QSpinBox(this)),
      lastRun_(new QLabel(this)) {
  const QSProject* project = app.appViewModel().project(projectID);
  setWindowTitle("Backups of " + (project ? qtext(project->name) : QString("the project")));
  setWindowModality(Qt::WindowModal);

  table_->setHorizontalHeaderLabels({"Snapshot", "Taken", "Size"});
  table_->horizontalHeader()->setSectionResizeMode(nameColumn, QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(takenColumn, QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(sizeColumn, QHeaderView::ResizeToContents);
  table_->verticalHeader()->hide();
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  empty_->setWordWrap(true);
  empty_->setAlignment(Qt::AlignCenter);
  folder_->setWordWrap(true);
  folder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  progress_->setRange(0, 0);  // the engines' tools say nothing of how far they are
  progress_->setMaximumHeight(14);
  progress_->setTextVisible(false);
  progress_->hide();
  progressText_->hide();

  auto* top = new QFormLayout;
  top->addRow("Database:", database_);
  auto* actions = new QHBoxLayout;
  actions->addWidget(backUp_);
  actions->addWidget(restore_);
  actions->addWidget(restoreFile_);
  actions->addStretch(1);
  actions->addWidget(prune_);
  auto* progressRow = new QHBoxLayout;
  progressRow->addWidget(progressText_);
  progressRow->addWidget(progress_, 1);

  interval_->setRange(1, 24 * 30);
  interval_->setSuffix(" hours");
  retention_->setRange(1, 1000);
  retention_->setSuffix(" snapshots");
  lastRun_->setWordWrap(true);
  auto* scheduleGroup = new QGroupBox("Automatic snapshots", this);
  auto* scheduleForm = new QFormLayout(scheduleGroup);
  scheduleForm->addRow(schedule_);
  scheduleForm->addRow("Every:", interval_);
  scheduleForm->addRow("Keep per database:", retention_);
  scheduleForm->addRow(lastRun_);

  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(table_, 1);
  layout->addWidget(empty_);
  layout->addWidget(folder_);
  layout->addLayout(actions);
  layout->addLayout(progressRow);
  layout->addWidget(message_);
  layout->addWidget(scheduleGroup);
  layout->addWidget(close);
  resize(700, 520);

  connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(database_, &QComboBox::currentIndexChanged, this, &QSBackupsSheet::reload);
  connect(table_, &QTableWidget::itemSelectionChanged, this, &QSBackupsSheet::selectionMoved);
  connect(backUp_, &QPushButton::clicked, this, &QSBackupsSheet::backUpNow);
  connect(restore_, &QPushButton::clicked, this, [this] { askToRestore(); });
  connect(restoreFile_, &QPushButton::clicked, this, [this] {
    QString file = QFileDialog::getOpenFileName(this, "Restore from an SQL dump", QDir::homePath(),
                                                "SQL dumps (*.sql);;All files (*)");
    if (!file.isEmpty()) askToRestore(fs::path(file.toStdString()));
  });
  connect(prune_, &QPushButton::clicked, this, &QSBackupsSheet::askToPrune);
  connect(schedule_, &QCheckBox::toggled, this, &QSBackupsSheet::storeSchedule);
  connect(interval_, &QSpinBox::valueChanged, this, &QSBackupsSheet::storeSchedule);
  connect(retention_, &QSpinBox::valueChanged, this, &QSBackupsSheet::storeSchedule);
  connect(&app_.appViewModel(), &QSAppViewModel::databasesChanged, this, [this] {
    if (!busy_ && database_->count() == 0) fillDatabases();
  });

  loadSchedule();
  fillDatabases();
}

QMessageBox* QSBackupsSheet::confirmation() const { return confirmation_.data(); }

std::optional<QSDatabase> QSBackupsSheet::selectedDatabase() const {
  if (database_->currentIndex() < 0) return std::nullopt;
  auto id = QSUUID::parse(database_->currentData().toString().toStdString());
  const QSDatabase* d = id ? app_.appViewModel().database(*id) : nullptr;
  if (!d) return std::nullopt;
  return *d;
}

void QSBackupsSheet::fillDatabases() {
  QSAppViewModel& model = app_.appViewModel();
  const QSProject* project = model.project(projectID_);
  QSignalBlocker blocker(database_);
  database_->clear();
  if (project) {
    for (const auto& id : {project->databaseID, project->redisID})
      if (const QSDatabase* d = model.database(id))
        database_->addItem(qtext(d->name) + " (" + databaseTypeName(d->type) + ")", qtext(d->id.string()));
  }
  // A snapshot-capable database first.
  for (int i = 0; i < database_->count(); ++i) {
    auto id = QSUUID::parse(database_->itemData(i).toString().toStdString());
    const QSDatabase* d = id ? model.database(*id) : nullptr;
    if (d && QSBackupService::supports(d->type)) {
      database_->setCurrentIndex(i);
      break;
    }
  }
  reload();
}

void QSBackupsSheet::reload() {
  table_->setRowCount(0);
  std::optional<QSDatabase> db = selectedDatabase();
  bool supported = db && QSBackupService::supports(db->type);
  QString emptyText;
  folder_->clear();
  if (!db) {
    const QSProject* project = app_.appViewModel().project(projectID_);
    emptyText = (project ? qtext(project->name) : QString("This project")) +
                " has no database yet. Provision a PostgreSQL or MySQL database on the Databases tab to keep snapshots "
                "of it.";
  } else if (!supported) {
    emptyText = qtext(QSBackupError(backupError::Unsupported{db->type}).message());
  } else {
    try {
      QSBackupService service = serviceFor(*db);
      auto files = service.backups(*db);
      folder_->setText("Snapshots are plain SQL files in " + qtext(service.directory(*db).string()));
      for (const auto& file : files) {
        int row = table_->rowCount();
        table_->insertRow(row);
        auto* name = new QTableWidgetItem(qtext(file.url.filename().string()));
        name->setData(Qt::UserRole, qtext(file.url.string()));
        name->setToolTip(qtext(file.url.string()));
        table_->setItem(row, nameColumn, name);
        table_->setItem(row, takenColumn, new QTableWidgetItem(dateText(file.createdAt)));
        auto* size = new QTableWidgetItem(sizeText(file.sizeBytes));
        size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table_->setItem(row, sizeColumn, size);
      }
      if (files.empty()) emptyText = "No snapshots of " + qtext(db->name) + " yet. Back Up Now takes the first.";
    } catch (const std::exception& e) {
      emptyText = QString("Couldn't list the snapshots: ") + e.what();
    }
  }
  if (table_->rowCount() > 0) table_->selectRow(0);
  table_->setVisible(table_->rowCount() > 0);
  empty_->setText(emptyText);
  empty_->setVisible(!emptyText.isEmpty());
  folder_->setVisible(!folder_->text().isEmpty());
  backUp_->setEnabled(supported && !busy_);
  restoreFile_->setEnabled(supported && !busy_);
  prune_->setEnabled(supported && !busy_ && table_->rowCount() > 0);
  selectionMoved();
}

void QSBackupsSheet::selectionMoved() { restore_->setEnabled(!busy_ && table_->currentRow() >= 0 && table_->rowCount() > 0); }

void QSBackupsSheet::setBusy(bool busy, const QString& doing) {
  busy_ = busy;
  progress_->setVisible(busy);
  progressText_->setText(doing);
  progressText_->setVisible(busy);
  database_->setEnabled(!busy);
  if (busy) {
    for (QPushButton* b : {backUp_, restore_, restoreFile_, prune_}) b->setEnabled(false);
    showMessage(message_, "", false);
  }
}

void QSBackupsSheet::runInBackground(const QString& doing, std::function<std::string()> work) {
  setBusy(true, doing);
  QPointer<QSBackupsSheet> self(this);
  QThread* worker = QThread::create([self, work = std::move(work)] {
    std::string text;
    bool failed = false;
    try {
      text = work();
    } catch (const std::exception& e) {
      text = e.what();
      failed = true;
    }
    backOnGui(self, [text, failed](QSBackupsSheet& sheet) {
      sheet.setBusy(false);
      sheet.reload();
      showMessage(sheet.message_, qtext(text), failed);
      emit sheet.operationFinished();
    });
  });
  // The thread ends on its own; the sheet may be gone by then.
  connect(worker, &QThread::finished, worker, &QObject::deleteLater);
  worker->start();
}

void QSBackupsSheet::backUpNow() {
  std::optional<QSDatabase> db = selectedDatabase();
  if (!db || busy_) return;
  runInBackground("Backing up " + qtext(db->name) + "…", [db = *db]() -> std::string {
    QSBackupService service = serviceFor(db);
    fs::path snapshot;
    try {
      snapshot = service.backup(db);
    } catch (const QSBackupException& e) {
      throw std::runtime_error(withStoppedHint(db, e));
    }
    std::int64_t size = 0;
    for (const auto& file : service.backups(db))
      if (file.url == snapshot) size = file.sizeBytes;
    return fmt::format("Backed up {} to {} ({}).", db.name, snapshot.filename().string(), sizeText(size).toStdString());
  });
}

void QSBackupsSheet::confirm(const QString& title, const QString& text, const QString& action,
                             std::function<void()> then) {
  if (confirmation_) confirmation_->close();
  auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Cancel, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::WindowModal);
  QPushButton* go = box->addButton(action, QMessageBox::DestructiveRole);
  box->setDefaultButton(QMessageBox::Cancel);
  connect(box, &QMessageBox::buttonClicked, this, [go, then = std::move(then)](QAbstractButton* clicked) {
    if (clicked == go) then();
  });
  confirmation_ = box;
  box->open();
}

void QSBackupsSheet::askToRestore(std::optional<fs::path> file) {
  std::optional<QSDatabase> db = selectedDatabase();
  if (!db || busy_) return;
  if (!file) {
    int row = table_->currentRow();
    if (row < 0) return showMessage(message_, "Select the snapshot to restore first.", true);
    file = fs::path(table_->item(row, nameColumn)->data(Qt::UserRole).toString().toStdString());
  }
  QString what = qtext(db->name) + " (" + databaseTypeName(db->type) + ")";
  QString text = QString("Replace everything in %1 with %2?\n\nEvery table and row %3 holds now is replaced by what "
                         "the file holds. A snapshot of the current data is taken first (…-before-restore.sql), so "
                         "this can be undone.")
                     .arg(what, qtext(file->filename().string()), qtext(db->name));
  confirm("Restore " + qtext(db->name) + "?", text, "Replace " + qtext(db->name), [this, db = *db, file = *file] {
    runInBackground("Restoring " + qtext(db.name) + "…", [db, file]() -> std::string {
      QSBackupService service = serviceFor(db);
      fs::path safety;
      try {
        safety = service.restore(db, file);
      } catch (const QSBackupException& e) {
        throw std::runtime_error(withStoppedHint(db, e));
      }
      return fmt::format("Restored {} from {}. What it held before is kept in {}.", db.name, file.filename().string(),
                         safety.filename().string());
    });
  });
}

void QSBackupsSheet::askToPrune() {
  std::optional<QSDatabase> db = selectedDatabase();
  if (!db || busy_) return;
  auto keeping = static_cast<std::size_t>(retention_->value());
  auto count = static_cast<std::size_t>(table_->rowCount());
  if (count <= keeping)
    return showMessage(message_,
                       QString("%1 has %2 snapshot(s); the retention keeps %3, so there is nothing to delete.")
                           .arg(qtext(db->name))
                           .arg(count)
                           .arg(keeping),
                       false);
  QString text = QString("Delete the %1 oldest snapshot(s) of %2, keeping the newest %3?")
                     .arg(count - keeping)
                     .arg(qtext(db->name))
                     .arg(keeping);
  confirm("Prune snapshots?", text, "Delete", [this, db = *db, keeping] {
    runInBackground("Pruning…", [db, keeping]() -> std::string {
      QSBackupService service = serviceFor(db);
      std::size_t before = service.backups(db).size();
      service.prune(db, keeping);
      std::size_t after = service.backups(db).size();
      return fmt::format("Deleted {} of {}'s snapshots; {} kept.", before - after, db.name, after);
    });
  });
}

void QSBackupsSheet::loadSchedule() {
  // Read from the file each time: the daemon and `qs settings` change it too.
  QSSettings settings(app_.settings().file());
  keys::registerDefaults(settings);
  loadingSchedule_ = true;
  schedule_->setChecked(settings.boolValue(keys::backupEnabled));
  interval_->setValue(static_cast<int>(std::max(1LL, settings.intValue(keys::backupIntervalHours))));
  retention_->setValue(static_cast<int>(std::max(1LL, settings.intValue(keys::backupRetention))));
  loadingSchedule_ = false;
  interval_->setEnabled(schedule_->isChecked());
  double lastRun = settings.doubleValue(keys::backupLastRun);
  QString last = lastRun > 0
                     ? "Last automatic run: " + QLocale().toString(QDateTime::fromMSecsSinceEpoch(
                                                                       static_cast<qint64>(std::llround(lastRun * 1000))),
                                                                   "d MMM yyyy, HH:mm") + "."
                     : QString("No automatic run yet.");
  lastRun_->setText(last + " The Quayside services take the snapshots, with or without this window; the retention "
                           "also sets what Prune keeps.");
}

void QSBackupsSheet::storeSchedule() {
  if (loadingSchedule_) return;
  try {
    QSSettings settings(app_.settings().file());
    settings.set(keys::backupEnabled, schedule_->isChecked());
    settings.set(keys::backupIntervalHours, static_cast<long long>(interval_->value()));
    settings.set(keys::backupRetention, static_cast<long long>(retention_->value()));
  } catch (const std::exception& e) {
    showMessage(message_, QString("Couldn't save the schedule: ") + e.what(), true);
  }
  interval_->setEnabled(schedule_->isChecked());
}

}  // namespace qs

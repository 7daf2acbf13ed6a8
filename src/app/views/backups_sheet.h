// The Backups sheet of a project: its databases' snapshots (newest first, with date and size),
// Back Up Now, Restore (of a snapshot or any SQL file, after a confirmation that names what is
// replaced), Prune to the retention count, and the automatic snapshots' schedule. Dumps and
// restores run on a thread of their own; the window stays responsive.
#pragma once

#include "core/models/database.h"
#include "core/platform/uuid.h"

#include <QDialog>
#include <QPointer>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace qs {

class QSAppDelegate;

class QSBackupsSheet : public QDialog {
  Q_OBJECT
public:
  enum Column { nameColumn, takenColumn, sizeColumn };

  QSBackupsSheet(QSAppDelegate& app, QSUUID projectID, QWidget* parent = nullptr);

  QComboBox* databaseBox() const { return database_; }
  QTableWidget* table() const { return table_; }
  QLabel* emptyLabel() const { return empty_; }
  QPushButton* backUpButton() const { return backUp_; }
  QPushButton* restoreButton() const { return restore_; }
  QPushButton* restoreFileButton() const { return restoreFile_; }
  QPushButton* pruneButton() const { return prune_; }
  QProgressBar* progressBar() const { return progress_; }
  QLabel* messageLabel() const { return message_; }
  QCheckBox* scheduleBox() const { return schedule_; }
  QSpinBox* intervalBox() const { return interval_; }
  QSpinBox* retentionBox() const { return retention_; }
  QLabel* lastRunLabel() const { return lastRun_; }
  // The question open right now (restore or prune), if any.
  QMessageBox* confirmation() const;

  // True while a dump, restore or prune runs.
  bool isBusy() const { return busy_; }
  // The chosen database, as the services last reported it.
  std::optional<QSDatabase> selectedDatabase() const;
  // Lists the chosen database's snapshots again.
  void reload();
  // Takes a snapshot of the chosen database now.
  void backUpNow();
  // Asks before replacing the chosen database's data with `file` (the selected snapshot when
  // none is given), and restores when the user agrees.
  void askToRestore(std::optional<std::filesystem::path> file = std::nullopt);
  // Asks before deleting all but the newest (retention) snapshots, and prunes when agreed.
  void askToPrune();

signals:
  // A dump, restore or prune has ended (its outcome is in the message label).
  void operationFinished();

private:
  void fillDatabases();
  void loadSchedule();
  void storeSchedule();
  void selectionMoved();
  void confirm(const QString& title, const QString& text, const QString& action, std::function<void()> then);
  // Runs `work` on a thread of its own; its text (or the error's) is shown when it ends.
  void runInBackground(const QString& doing, std::function<std::string()> work);
  void setBusy(bool busy, const QString& doing = {});

  QSAppDelegate& app_;
  QSUUID projectID_;
  QComboBox* database_;
  QTableWidget* table_;
  QLabel* empty_;
  QLabel* folder_;
  QPushButton* backUp_;
  QPushButton* restore_;
  QPushButton* restoreFile_;
  QPushButton* prune_;
  QProgressBar* progress_;
  QLabel* progressText_;
  QLabel* message_;
  QCheckBox* schedule_;
  QSpinBox* interval_;
  QSpinBox* retention_;
  QLabel* lastRun_;
  QPointer<QMessageBox> confirmation_;
  bool busy_ = false;
  bool loadingSchedule_ = false;
};

}  // namespace qs

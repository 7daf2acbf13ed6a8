// Re-sync from Site Document: brings a changed document into a project exported from it. The
// plan comes first (a dry run that changes nothing): files to add, update and remove, and each
// conflict on a row of its own with the user's choice, Keep Mine or Overwrite. Apply then writes
// exactly that plan; a cancel, before or during the apply, leaves the project as it was.
#pragma once

// moc cannot parse the core's headers (C++20 concepts); it needs none of their types.
#ifndef Q_MOC_RUN
#include "app/site/site_resync.h"
#endif
#include "core/models/project.h"

#include <QDialog>

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace qs {

class QSAppViewModel;

class QSSiteResyncSheet : public QDialog {
  Q_OBJECT
public:
  enum Column { changeColumn, fileColumn, choiceColumn };
  struct PlanView;

  QSSiteResyncSheet(QSAppViewModel& model, QSUUID projectID, QWidget* parent = nullptr);
  ~QSSiteResyncSheet() override;

  QLineEdit* documentEdit() const { return document_; }
  QTableWidget* planTable() const { return table_; }
  QLabel* summaryLabel() const { return summary_; }
  QLabel* structuralLabel() const { return structural_; }
  QLabel* messageLabel() const { return message_; }
  QCheckBox* followBox() const { return follow_; }
  QPushButton* applyButton() const { return apply_; }
  QPushButton* keepAllButton() const { return keepAll_; }
  QPushButton* overwriteAllButton() const { return overwriteAll_; }
  QPushButton* cancelButton() const;
  QProgressBar* progressBar() const { return progress_; }
  // The choice box of a conflict's row; null for a file that is no conflict.
  QComboBox* choiceFor(const QString& path) const;
  // A plan is shown and nothing runs.
  bool hasPlan() const { return plan_ != nullptr && !busy_; }
  // The last apply finished (not cancelled, not failed).
  bool isApplied() const { return applied_; }

  // Plans the re-sync to `path` off the GUI thread (a dry run: nothing is written).
  void setDocument(const QString& path);
  // Writes the shown plan with the choices made, off the GUI thread.
  void apply();
  // Before the apply: closes, changing nothing. During it: stops it, leaving the project as it was.
  void cancel();

  // The texts of the choice boxes.
  static constexpr const char* keepMineText = "Keep Mine";
  static constexpr const char* overwriteText = "Overwrite";

signals:
  void resynced();

public slots:
  // Esc and the window's close button: cancel() rather than closing mid-apply.
  void reject() override;

private:
  void plan();
  void showPlan(std::shared_ptr<const PlanView> view);
  void setBusy(bool busy);
  void chooseAll(bool keep);
  void applied(const QSResyncReport& report, const QString& error, bool planChanged,
               std::shared_ptr<const PlanView> replan);

  QSAppViewModel& model_;
  QSUUID projectID_;
  std::filesystem::path folder_;
  std::optional<std::filesystem::path> followed_;  // the document the manifest names
  QLineEdit* document_;
  QPushButton* choose_;
  QLabel* summary_;
  QTableWidget* table_;
  QPushButton* keepAll_;
  QPushButton* overwriteAll_;
  QLabel* structural_;
  QCheckBox* follow_;
  QProgressBar* progress_;
  QLabel* message_;
  QDialogButtonBox* buttons_;
  QPushButton* apply_;
  std::shared_ptr<const PlanView> plan_;
  std::shared_ptr<std::atomic<bool>> cancelRequested_;
  bool busy_ = false;
  bool applying_ = false;
  bool applied_ = false;
  int generation_ = 0;  // plans asked for earlier than the latest are dropped
};

}  // namespace qs

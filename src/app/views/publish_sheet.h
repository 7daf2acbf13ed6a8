// The Publish sheet: the hosting account's API key, the subdomain with its availability, the
// machine and database choices, then the publish itself as it happens: each phase with its
// text, the remote build's log, and the published address. The flow runs on the service loop
// (the same one `qs publish` runs); Cancel stops it at any phase.
#pragma once

#include "app/publish/publish_phase.h"
#include "core/platform/settings.h"
#include "core/platform/uuid.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace qs {

class QSAppDelegate;

class QSPublishSheet : public QDialog {
  Q_OBJECT
public:
  QSPublishSheet(QSAppDelegate& app, QSUUID projectID, QWidget* parent = nullptr);
  // Cancels a publish under way; it winds down on the loop (its archive removed).
  ~QSPublishSheet() override;

  QLabel* keyLabel() const { return keyState_; }
  QLineEdit* keyEdit() const { return keyEdit_; }
  QPushButton* saveKeyButton() const { return saveKey_; }
  QLineEdit* subdomainEdit() const { return subdomain_; }
  QLabel* availabilityLabel() const { return availability_; }
  QCheckBox* databaseBox() const { return database_; }
  QListWidget* phaseList() const { return phases_; }
  QLabel* phaseLabel() const { return phaseLabel_; }
  QLabel* detailLabel() const { return detail_; }
  QPlainTextEdit* buildLog() const { return log_; }
  QLabel* addressLabel() const { return address_; }
  QLabel* messageLabel() const { return message_; }
  QPushButton* publishButton() const { return publish_; }
  QPushButton* cancelButton() const { return cancel_; }

  // The phase the sheet shows last.
  const QSPublishPhase& phase() const { return phase_; }
  bool isPublishing() const { return running_ != nullptr; }
  // True once a publish ended because Cancel stopped it.
  bool wasCancelled() const { return cancelled_; }

  // Asks the hosting service whether the subdomain in the field is free (done by itself a
  // moment after typing stops).
  void checkAvailability();
  // Verifies the key in the field at the account hub and stores it when the hub accepts it.
  void saveKey();
  // Forgets the stored key.
  void removeKey();
  // Starts the publish with the sheet's choices.
  void publish();
  // Cancels the publish under way, or closes the sheet when none runs.
  void cancel();

  struct Run;

private:
  void refreshKey();
  void showPhase(const QSPublishPhase& phase);
  void appendLog(const std::vector<std::string>& lines);
  void finish(const QSPublishPhase& phase);
  void setEditable(bool editable);
  std::string hostingURL() const;
  std::string hubURL() const;
  QSSettings currentSettings() const;

  QSAppDelegate& app_;
  QSUUID projectID_;
  std::string projectFolder_;
  QLabel* keyState_;
  QLineEdit* keyEdit_;
  QPushButton* saveKey_;
  QPushButton* removeKey_;
  QLineEdit* subdomain_;
  QLabel* availability_;
  QTimer* availabilityDelay_;
  QComboBox* size_;
  QComboBox* region_;
  QCheckBox* database_;
  QCheckBox* excludeEnv_;
  QListWidget* phases_;
  QLabel* phaseLabel_;
  QLabel* detail_;
  QPlainTextEdit* log_;
  QLabel* address_;
  QLabel* message_;
  QPushButton* publish_;
  QPushButton* cancel_;
  QSPublishPhase phase_;
  std::shared_ptr<Run> running_;
  int availabilityGeneration_ = 0;  // answers to older checks are dropped
  bool cancelled_ = false;
};

}  // namespace qs

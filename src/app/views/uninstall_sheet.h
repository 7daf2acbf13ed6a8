// Uninstall Quayside: the choice of what to remove, then the services stopped (the daemon shut
// down, or this app's own), the uninstaller's steps run off the GUI thread with each result
// listed as it comes, and the last step the user takes by hand.
#pragma once

// moc cannot parse the core's headers (C++20 concepts); it needs none of their types.
#ifndef Q_MOC_RUN
#include "core/uninstall/uninstaller.h"
#endif

#include <QDialog>

#include <optional>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace qs {

class QSAppDelegate;

class QSUninstallSheet : public QDialog {
  Q_OBJECT
public:
  // The steps work in `places` (this user's and this machine's by default).
  QSUninstallSheet(QSAppDelegate& app, std::optional<QSUninstaller::Places> places = std::nullopt,
                   QWidget* parent = nullptr);

  QCheckBox* routingBox() const { return routing_; }
  QCheckBox* certificateBox() const { return certificate_; }
  QCheckBox* cliBox() const { return cli_; }
  QCheckBox* dataBox() const { return data_; }
  QPushButton* uninstallButton() const { return uninstall_; }
  QPushButton* showInFilesButton() const { return showInFiles_; }
  QPushButton* quitButton() const { return quit_; }
  QListWidget* resultsList() const { return results_; }
  QLabel* statusLabel() const { return status_; }
  QLabel* lastStepLabel() const { return lastStep_; }
  bool isFinished() const { return finished_; }
  // The options the boxes say.
  QSUninstaller::Options options() const;

  // Stops the services, then runs the checked steps.
  void uninstall();

  // The step shown before the uninstaller's when a daemon was running.
  static constexpr const char* stopDaemonStep = "Stop the Quayside daemon";

signals:
  // The app has nothing left to run: the user closed the finished sheet.
  void quitRequested();

public slots:
  void reject() override;

private:
  void servicesStopped();
  void runSteps();
  void addResult(const QSUninstaller::StepResult& result);
  void finish();

  QSAppDelegate& app_;
  QSUninstaller::Places places_;
  QCheckBox* routing_;
  QCheckBox* certificate_;
  QCheckBox* cli_;
  QCheckBox* data_;
  QLabel* status_;
  QProgressBar* progress_;
  QListWidget* results_;
  QLabel* lastStep_;
  QPushButton* showInFiles_;
  QLabel* feedback_;
  QDialogButtonBox* buttons_;
  QPushButton* uninstall_;
  QPushButton* quit_;
  QSUninstaller::Options running_;
  bool started_ = false;
  bool finished_ = false;
  bool allSucceeded_ = true;
};

}  // namespace qs

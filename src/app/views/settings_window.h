// The Settings window: General (ownership mode, auto-start, mail), Services (the database
// engine catalogue), Network (.test services and trust) and Daemon (connection and build).
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTabWidget;

namespace qs {

class QSAppDelegate;

class QSSettingsWindow : public QDialog {
  Q_OBJECT
public:
  QSSettingsWindow(QSAppDelegate& app, QWidget* parent = nullptr);

  QTabWidget* pages() const { return pages_; }
  QCheckBox* useDaemonBox() const { return useDaemon_; }
  QLineEdit* mailPortEdit() const { return mailPort_; }
  QTableWidget* enginesTable() const { return engines_; }
  QLabel* daemonLabel() const { return daemon_; }
  QLabel* networkLabel() const { return network_; }
  // Re-reads the engine catalogue (done when the Services page is shown).
  void reloadEngines();
  // What Export… and Import… do after their file choosers; the outcome shows on the General page.
  void exportTo(const QString& file);
  void importFrom(const QString& file);
  QLabel* generalMessageLabel() const { return generalMessage_; }

  // The shell line that waits for process `pid` to exit, then starts `program` again.
  static QString relaunchLine(qint64 pid, const QString& program);

  // Opens the Uninstall Quayside sheet.
  void openUninstall();

signals:
  void relaunchRequested();
  // The user closed a finished uninstall: nothing is left for the app to run.
  void quitRequested();

private:
  QWidget* makeGeneral();
  QWidget* makeServices();
  QWidget* makeNetwork();
  QWidget* makeDaemon();
  void refreshNetwork();
  void refreshDaemon();
  void installSelected();
  void uninstallSelected();
  void store(const char* key, bool value);

  QSAppDelegate& app_;
  QTabWidget* pages_;
  QCheckBox* useDaemon_;
  QLineEdit* mailPort_;
  QLabel* generalMessage_;
  QTableWidget* engines_;
  QProgressBar* progress_;
  QPushButton* install_;
  QPushButton* uninstall_;
  QLabel* servicesMessage_;
  QLabel* network_;
  QPushButton* routing_;
  QPushButton* trust_;
  QLabel* networkMessage_;
  QLabel* daemon_;
  QPushButton* restartDaemon_;
};

}  // namespace qs

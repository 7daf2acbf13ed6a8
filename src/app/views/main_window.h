// The main window: the project sidebar, the selected project's tabs, and the actions that add,
// create and remove projects.
#pragma once

#include <QMainWindow>
#include <QPointer>

class QAction;
class QLabel;
class QPushButton;
class QTabWidget;

namespace qs {

class QSAppDelegate;
class QSDatabasesTab;
class QSDomainsTab;
class QSEnvironmentTab;
class QSLogsTab;
class QSMailBoxWindow;
class QSOverviewTab;
class QSProjectSidebar;

class QSMainWindow : public QMainWindow {
  Q_OBJECT
public:
  QSMainWindow(QSAppDelegate& app, QWidget* parent = nullptr);

  QSProjectSidebar* sidebar() const { return sidebar_; }
  QTabWidget* tabs() const { return tabs_; }
  QSOverviewTab* overviewTab() const { return overview_; }
  QSEnvironmentTab* environmentTab() const { return environment_; }
  QSDomainsTab* domainsTab() const { return domains_; }
  QSDatabasesTab* databasesTab() const { return databases_; }
  QSLogsTab* logsTab() const { return logs_; }
  QLabel* bannerLabel() const { return banner_; }
  QLabel* messageLabel() const { return message_; }

  // Adds the folder as a project (what Add Project does after its folder chooser).
  void addProjectFolder(const QString& folder);
  // Whether closing the window hides it in the tray instead of quitting.
  void setKeepsRunningInTray(bool keeps) { keepsRunningInTray_ = keeps; }
  // Shows the mail box (made on first use), raised.
  QSMailBoxWindow* showMailBox();
  QAction* mailAction() const { return mailAction_; }

signals:
  void settingsRequested();
  // Closing the window without a tray ends the app.
  void quitRequested();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void buildToolbar();
  void showSelectedProject();
  void refreshBanner();
  void chooseProjectFolder();
  void newProject();
  void removeProject();

  QSAppDelegate& app_;
  QSProjectSidebar* sidebar_;
  QTabWidget* tabs_;
  QSOverviewTab* overview_;
  QSEnvironmentTab* environment_;
  QSDomainsTab* domains_;
  QSDatabasesTab* databases_;
  QSLogsTab* logs_;
  QLabel* banner_;
  QPushButton* restartDaemon_;
  QLabel* message_;
  bool keepsRunningInTray_ = false;
  QAction* mailAction_ = nullptr;
  QPointer<QSMailBoxWindow> mailBox_;
};

}  // namespace qs

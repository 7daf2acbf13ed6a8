// The main window: the project sidebar, the selected project's tabs, and the actions that add,
// create and remove projects.
#pragma once

#include "core/models/project.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <optional>

class QAction;
class QLabel;
class QPushButton;
class QTabWidget;

namespace qs {

class QSAppDelegate;
class QSBackupsSheet;
class QSPublishSheet;
class QSDatabasesTab;
class QSFileOpener;
class QSHelpWindow;
class QSOnboardingWindow;
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
  // Opens files handed to the app: .brp documents become projects, folders are added (or
  // selected when they are projects already). Failures show in the message line.
  void openFiles(const QStringList& paths);
  QSFileOpener* fileOpener() const { return opener_; }
  // The Welcome window and the help guide (from the Help menu; Welcome also at first launch).
  QSOnboardingWindow* showOnboarding();
  QSHelpWindow* showHelp();
  // Hands the project (nothing: none selected) to the preferred editor or terminal; the message
  // line says where it opened, or why it couldn't.
  void openInEditor(std::optional<QSUUID> id);
  void openInTerminal(std::optional<QSUUID> id);
  // Opens New Project from Site Document, with `document` chosen when given.
  void importSiteDocument(const QString& document = {});
  // Opens Re-sync for the selected project (one exported from a site document).
  void resyncSelectedProject();
  // The selected project's Publish and Backups sheets, opened window-modal (nothing, and a
  // message, without a selection).
  QSPublishSheet* openPublishSheet();
  QSBackupsSheet* openBackupsSheet();
  // Whether closing the window hides it in the tray instead of quitting.
  void setKeepsRunningInTray(bool keeps) { keepsRunningInTray_ = keeps; }
  // Shows the mail box (made on first use), raised.
  QSMailBoxWindow* showMailBox();
  QAction* mailAction() const { return mailAction_; }

signals:
  void settingsRequested();
  // The Settings window on the page of this name.
  void settingsPageRequested(const QString& page);
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
  template <class Sheet>
  Sheet* openProjectSheet();

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
  QSFileOpener* opener_;
  QPointer<QSOnboardingWindow> onboarding_;
  QPointer<QSHelpWindow> help_;
  QStringList openFailures_;
  QAction* resync_ = nullptr;
  bool keepsRunningInTray_ = false;
  QAction* mailAction_ = nullptr;
  QPointer<QSMailBoxWindow> mailBox_;
};

}  // namespace qs

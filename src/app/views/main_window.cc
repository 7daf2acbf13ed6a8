#include "app/views/main_window.h"

#include "app/shell/app_delegate.h"
#include "app/shell/daemon_controller.h"
#include "app/shell/file_opener.h"
#include "app/viewmodels/app_view_model.h"
#include "app/views/backups_sheet.h"
#include "app/views/databases_tab.h"
#include "app/views/domains_tab.h"
#include "app/views/environment_tab.h"
#include "app/views/help_window.h"
#include "app/views/onboarding_window.h"
#include "app/views/launch_actions.h"
#include "app/views/logs_tab.h"
#include "app/views/mail_box_window.h"
#include "app/viewmodels/mail_box_model.h"
#include "app/views/overview_tab.h"
#include "app/views/project_dialogs.h"
#include "app/views/project_sidebar.h"
#include "app/views/site_import_sheet.h"
#include "app/views/site_resync_sheet.h"
#include "app/views/publish_sheet.h"
#include "app/views/view_style.h"
#include "app/site/sync_manifest.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace qs {

QSMainWindow::QSMainWindow(QSAppDelegate& app, QWidget* parent)
    : QMainWindow(parent),
      app_(app),
      sidebar_(new QSProjectSidebar(app.appViewModel(), this)),
      tabs_(new QTabWidget(this)),
      overview_(new QSOverviewTab(app.appViewModel(), this)),
      environment_(new QSEnvironmentTab(app.appViewModel(), this)),
      domains_(new QSDomainsTab(app.appViewModel(), this)),
      databases_(new QSDatabasesTab(app.appViewModel(), this)),
      logs_(new QSLogsTab(app.appViewModel(), this)),
      banner_(new QLabel(this)),
      restartDaemon_(new QPushButton("Restart Daemon", this)),
      message_(makeMessageLabel(this)),
      opener_(new QSFileOpener(app.appViewModel(), this)) {
  setWindowTitle("Quayside");
  setWindowIcon(appIcon());
  tabs_->addTab(overview_, "Overview");
  tabs_->addTab(environment_, "Environment");
  tabs_->addTab(domains_, "Domains");
  tabs_->addTab(databases_, "Databases");
  tabs_->addTab(logs_, "Logs");
  banner_->setWordWrap(true);

  auto* bannerRow = new QHBoxLayout;
  bannerRow->addWidget(banner_, 1);
  bannerRow->addWidget(restartDaemon_);
  auto* detail = new QWidget(this);
  auto* detailLayout = new QVBoxLayout(detail);
  detailLayout->addLayout(bannerRow);
  detailLayout->addWidget(message_);
  detailLayout->addWidget(tabs_, 1);
  auto* split = new QSplitter(this);
  split->addWidget(sidebar_);
  split->addWidget(detail);
  split->setStretchFactor(1, 1);
  split->setSizes({240, 760});
  setCentralWidget(split);
  buildToolbar();
  resize(1040, 700);

  connect(sidebar_, &QSProjectSidebar::selectionChanged, this, &QSMainWindow::showSelectedProject);
  connect(sidebar_, &QSProjectSidebar::openInEditorRequested, this, &QSMainWindow::openInEditor);
  connect(sidebar_, &QSProjectSidebar::openInTerminalRequested, this, &QSMainWindow::openInTerminal);
  connect(&app_, &QSAppDelegate::modeChanged, this, &QSMainWindow::refreshBanner);
  connect(&app_.daemonController(), &QSDaemonController::stateChanged, this, &QSMainWindow::refreshBanner);
  connect(restartDaemon_, &QPushButton::clicked, &app_, &QSAppDelegate::restartDaemon);
  connect(opener_, &QSFileOpener::projectOpened, this, [this](const QSUUID& id) {
    sidebar_->selectProject(id);
    if (openFailures_.isEmpty()) showMessage(message_, "", false);
  });
  connect(opener_, &QSFileOpener::progress, this, [this](const QString& text) {
    if (openFailures_.isEmpty()) showMessage(message_, text, false);
  });
  connect(opener_, &QSFileOpener::failed, this, [this](const QString& text) {
    openFailures_ << text;
    showMessage(message_, openFailures_.join('\n'), true);
  });
  showSelectedProject();
  refreshBanner();
}

void QSMainWindow::buildToolbar() {
  QToolBar* bar = addToolBar("Projects");
  bar->setMovable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  bar->addAction("Add Project…", this, &QSMainWindow::chooseProjectFolder);
  bar->addAction("New Project…", this, &QSMainWindow::newProject);
  bar->addAction("New Project from Site Document…", this, [this] { importSiteDocument(); });
  resync_ = bar->addAction("Re-sync from Site Document…", this, &QSMainWindow::resyncSelectedProject);
  bar->addAction("Remove…", this, &QSMainWindow::removeProject);
  bar->addSeparator();
  bar->addAction("Open in Editor", this, [this] { openInEditor(sidebar_->selectedProject()); });
  bar->addAction("Open in Terminal", this, [this] { openInTerminal(sidebar_->selectedProject()); });
  bar->addAction("Publish…", this, &QSMainWindow::openPublishSheet);
  bar->addAction("Backups…", this, &QSMainWindow::openBackupsSheet);
  auto* spacer = new QWidget(bar);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  bar->addWidget(spacer);
  mailAction_ = bar->addAction("Mail", this, &QSMainWindow::showMailBox);
  connect(&app_.appViewModel().mailBox(), &QSMailBoxModel::unreadCountChanged, this,
          [this](int unread) { mailAction_->setText(unread ? QString("Mail (%1)").arg(unread) : QString("Mail")); });
  bar->addAction("Settings", this, &QSMainWindow::settingsRequested);

  QMenu* help = menuBar()->addMenu("&Help");
  help->addAction("Welcome to Quayside…", this, &QSMainWindow::showOnboarding);
  help->addAction("Quayside Help", this, &QSMainWindow::showHelp);
}

QSOnboardingWindow* QSMainWindow::showOnboarding() {
  if (!onboarding_) {
    onboarding_ = new QSOnboardingWindow(app_, this);
    onboarding_->setAttribute(Qt::WA_DeleteOnClose);
    connect(onboarding_, &QSOnboardingWindow::settingsPageRequested, this, &QSMainWindow::settingsPageRequested);
    connect(onboarding_, &QSOnboardingWindow::helpRequested, this, &QSMainWindow::showHelp);
  }
  onboarding_->show();
  onboarding_->raise();
  onboarding_->activateWindow();
  return onboarding_;
}

QSHelpWindow* QSMainWindow::showHelp() {
  if (!help_) {
    help_ = new QSHelpWindow(this);
    help_->setAttribute(Qt::WA_DeleteOnClose);
  }
  help_->show();
  help_->raise();
  help_->activateWindow();
  return help_;
}

QSMailBoxWindow* QSMainWindow::showMailBox() {
  if (!mailBox_) mailBox_ = new QSMailBoxWindow(app_.appViewModel(), this);
  mailBox_->show();
  mailBox_->raise();
  mailBox_->activateWindow();
  return mailBox_;
}

void QSMainWindow::showSelectedProject() {
  std::optional<QSUUID> id = sidebar_->selectedProject();
  for (QSProjectTab* tab : std::initializer_list<QSProjectTab*>{overview_, environment_, domains_, databases_, logs_})
    tab->setProject(id);
  // Only a project exported from a site document has a manifest to re-sync by.
  const QSProject* project = id ? app_.appViewModel().project(*id) : nullptr;
  if (resync_)
    resync_->setVisible(project && fileExists(project->path / std::string(QSSyncManifest::relativePath)));
}

void QSMainWindow::refreshBanner() {
  QSDaemonController& daemon = app_.daemonController();
  bool outdated = app_.mode() == QSAppDelegate::Mode::daemon && daemon.showsOutdatedNotice();
  restartDaemon_->setVisible(outdated);
  QString text;
  if (outdated) {
    text = "<b>The background daemon is running an older build.</b> Restart it to use the current version — this "
           "briefly restarts running servers.";
  } else if (app_.mode() == QSAppDelegate::Mode::waiting) {
    text = QString("Another Quayside process%1 owns the services but doesn't answer. Quayside keeps trying; quit "
                   "that process to let this one take over.")
               .arg(app_.waitingForPid() ? QString(" (pid %1)").arg(app_.waitingForPid()) : QString());
  } else if (app_.mode() == QSAppDelegate::Mode::starting) {
    text = "Connecting to the Quayside services…";
  }
  banner_->setText(text);
  banner_->setVisible(!text.isEmpty());
  banner_->setStyleSheet(outdated || app_.mode() == QSAppDelegate::Mode::waiting
                             ? "background: #fff4d6; color: #5c4400; padding: 6px; border-radius: 4px;"
                             : "padding: 6px;");
}

void QSMainWindow::addProjectFolder(const QString& folder) {
  QPointer<QSMainWindow> self(this);
  showMessage(message_, "Adding " + folder + "…", false);
  app_.appViewModel().addProject(folder, [self, folder](const QString& error) {
    if (!self) return;
    showMessage(self->message_, error, !error.isEmpty());
    if (!error.isEmpty()) return;
    for (const QSProject& p : self->app_.appViewModel().projects())
      if (QString::fromStdString(p.path.string()) == folder) self->sidebar_->selectProject(p.id);
  });
}

void QSMainWindow::chooseProjectFolder() {
  QString folder = QFileDialog::getExistingDirectory(this, "Add a Vapor project folder",
                                                     QString::fromStdString(QSPaths::projectsFolder().string()));
  if (!folder.isEmpty()) addProjectFolder(folder);
}

void QSMainWindow::newProject() {
  auto* dialog = new QSNewProjectDialog(app_.appViewModel(), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QSNewProjectDialog::created, this, [this](const QSUUID& id) { sidebar_->selectProject(id); });
  dialog->open();
}

void QSMainWindow::importSiteDocument(const QString& document) {
  auto* sheet = new QSSiteImportSheet(app_.appViewModel(), this);
  sheet->setAttribute(Qt::WA_DeleteOnClose);
  if (!document.isEmpty()) sheet->setDocument(document);
  connect(sheet, &QSSiteImportSheet::imported, this, [this](const QSUUID& id) { sidebar_->selectProject(id); });
  sheet->open();
}

void QSMainWindow::resyncSelectedProject() {
  std::optional<QSUUID> id = sidebar_->selectedProject();
  if (!id) return showMessage(message_, "Select the project to re-sync in the list first.", true);
  auto* sheet = new QSSiteResyncSheet(app_.appViewModel(), *id, this);
  sheet->setAttribute(Qt::WA_DeleteOnClose);
  sheet->open();
}

void QSMainWindow::removeProject() {
  std::optional<QSUUID> id = sidebar_->selectedProject();
  if (!id) return showMessage(message_, "Select the project to remove in the list first.", true);
  auto* dialog = new QSRemoveProjectDialog(app_.appViewModel(), *id, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
}

void QSMainWindow::openFiles(const QStringList& paths) {
  if (!opener_->isBusy()) openFailures_.clear();
  opener_->open(paths);
}

void QSMainWindow::openInEditor(std::optional<QSUUID> id) {
  const QSProject* project = id ? app_.appViewModel().project(*id) : nullptr;
  if (!project) return showMessage(message_, "Select the project to open in the list first.", true);
  QSLaunchReport report = qs::openInEditor(app_.settings(), *project);
  showMessage(message_, report.text, report.isError);
}

void QSMainWindow::openInTerminal(std::optional<QSUUID> id) {
  const QSProject* project = id ? app_.appViewModel().project(*id) : nullptr;
  if (!project) return showMessage(message_, "Select the project to open in the list first.", true);
  QSLaunchReport report = qs::openInTerminal(app_.settings(), *project);
  showMessage(message_, report.text, report.isError);
}

template <class Sheet>
Sheet* QSMainWindow::openProjectSheet() {
  std::optional<QSUUID> id = sidebar_->selectedProject();
  if (!id) {
    showMessage(message_, "Select a project in the list first.", true);
    return nullptr;
  }
  auto* sheet = new Sheet(app_, *id, this);
  sheet->setAttribute(Qt::WA_DeleteOnClose);
  sheet->open();
  return sheet;
}

QSPublishSheet* QSMainWindow::openPublishSheet() { return openProjectSheet<QSPublishSheet>(); }
QSBackupsSheet* QSMainWindow::openBackupsSheet() { return openProjectSheet<QSBackupsSheet>(); }

void QSMainWindow::closeEvent(QCloseEvent* event) {
  if (keepsRunningInTray_) {
    hide();
    event->ignore();
    return;
  }
  event->ignore();
  emit quitRequested();
}

}  // namespace qs

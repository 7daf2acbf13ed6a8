#include "app/views/main_window.h"

#include "app/shell/app_delegate.h"
#include "app/shell/daemon_controller.h"
#include "app/viewmodels/app_view_model.h"
#include "app/views/databases_tab.h"
#include "app/views/domains_tab.h"
#include "app/views/environment_tab.h"
#include "app/views/logs_tab.h"
#include "app/views/mail_box_window.h"
#include "app/viewmodels/mail_box_model.h"
#include "app/views/overview_tab.h"
#include "app/views/project_dialogs.h"
#include "app/views/project_sidebar.h"
#include "app/views/view_style.h"
#include "core/platform/paths.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
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
      message_(makeMessageLabel(this)) {
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
  connect(&app_, &QSAppDelegate::modeChanged, this, &QSMainWindow::refreshBanner);
  connect(&app_.daemonController(), &QSDaemonController::stateChanged, this, &QSMainWindow::refreshBanner);
  connect(restartDaemon_, &QPushButton::clicked, &app_, &QSAppDelegate::restartDaemon);
  showSelectedProject();
  refreshBanner();
}

void QSMainWindow::buildToolbar() {
  QToolBar* bar = addToolBar("Projects");
  bar->setMovable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  bar->addAction("Add Project…", this, &QSMainWindow::chooseProjectFolder);
  bar->addAction("New Project…", this, &QSMainWindow::newProject);
  bar->addAction("Remove…", this, &QSMainWindow::removeProject);
  auto* spacer = new QWidget(bar);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  bar->addWidget(spacer);
  mailAction_ = bar->addAction("Mail", this, &QSMainWindow::showMailBox);
  connect(&app_.appViewModel().mailBox(), &QSMailBoxModel::unreadCountChanged, this,
          [this](int unread) { mailAction_->setText(unread ? QString("Mail (%1)").arg(unread) : QString("Mail")); });
  bar->addAction("Settings", this, &QSMainWindow::settingsRequested);
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

void QSMainWindow::removeProject() {
  std::optional<QSUUID> id = sidebar_->selectedProject();
  if (!id) return showMessage(message_, "Select the project to remove in the list first.", true);
  auto* dialog = new QSRemoveProjectDialog(app_.appViewModel(), *id, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
}

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

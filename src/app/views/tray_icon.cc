#include "app/views/tray_icon.h"

#include "app/shell/app_delegate.h"
#include "app/shell/daemon_controller.h"
#include "app/viewmodels/app_view_model.h"
#include "app/viewmodels/mail_box_model.h"
#include "app/viewmodels/server_view_model.h"
#include "app/views/view_style.h"

#include <QDesktopServices>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

namespace qs {

QSTrayIcon::QSTrayIcon(QSAppDelegate& app, QObject* parent)
    : QObject(parent), app_(app), menu_(new QMenu), icon_(new QSystemTrayIcon(appIcon(), this)) {
  icon_->setToolTip("Quayside");
  icon_->setContextMenu(menu_);
  connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) emit showWindowRequested();
  });
  QSAppViewModel& model = app_.appViewModel();
  connect(&model, &QSAppViewModel::projectsChanged, this, &QSTrayIcon::scheduleRebuild);
  connect(&model, &QSAppViewModel::networkChanged, this, &QSTrayIcon::scheduleRebuild);
  connect(&app_, &QSAppDelegate::modeChanged, this, &QSTrayIcon::scheduleRebuild);
  connect(&app_.daemonController(), &QSDaemonController::stateChanged, this, &QSTrayIcon::scheduleRebuild);
  connect(&model.mailBox(), &QSMailBoxModel::unreadCountChanged, this, [this] {
    refreshUnread();
    scheduleRebuild();
  });
  rebuild();
  refreshUnread();
}

QString QSTrayIcon::toolTip() const { return icon_->toolTip(); }

QIcon QSTrayIcon::icon() const { return icon_->icon(); }

// The app's icon, with a badge holding the number of unread messages when there are any.
void QSTrayIcon::refreshUnread() {
  int unread = app_.appViewModel().mailBox().unreadCount();
  icon_->setToolTip(unread ? QString("Quayside — %1 unread message%2").arg(unread).arg(unread == 1 ? "" : "s")
                           : QString("Quayside"));
  if (!unread) {
    icon_->setIcon(appIcon());
    return;
  }
  QPixmap pixmap = appIcon().pixmap(64, 64);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QRectF badge(28, 0, 36, 36);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor("#d93025"));
  painter.drawEllipse(badge);
  QFont font = painter.font();
  font.setBold(true);
  font.setPixelSize(unread > 99 ? 15 : 22);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(badge, Qt::AlignCenter, unread > 99 ? QString("99+") : QString::number(unread));
  painter.end();
  icon_->setIcon(QIcon(pixmap));
}

QSTrayIcon::~QSTrayIcon() { delete menu_; }

bool QSTrayIcon::isAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void QSTrayIcon::show() { icon_->show(); }

void QSTrayIcon::scheduleRebuild() {
  if (rebuildPending_) return;
  rebuildPending_ = true;
  QTimer::singleShot(0, this, [this] {
    rebuildPending_ = false;
    rebuild();
  });
}

void QSTrayIcon::rebuild() {
  menu_->clear();
  addProjectItems();
  menu_->addSeparator();
  int unread = app_.appViewModel().mailBox().unreadCount();
  menu_->addAction(unread ? QString("Mail — %1 unread").arg(unread) : QString("Mail"), this, &QSTrayIcon::mailRequested);
  if (app_.mode() == QSAppDelegate::Mode::daemon && app_.daemonController().showsOutdatedNotice())
    menu_->addAction("Daemon Out of Date", &app_, &QSAppDelegate::restartDaemon);
  menu_->addAction("Show Quayside", this, &QSTrayIcon::showWindowRequested);
  menu_->addAction("Quit Quayside", this, &QSTrayIcon::quitRequested);
}

void QSTrayIcon::addProjectItems() {
  QSAppViewModel& model = app_.appViewModel();
  if (model.projects().empty()) menu_->addAction("No projects yet")->setEnabled(false);
  for (const QSProject& project : model.projects()) {
    QSServerViewModel* server = model.serverViewModel(project.id);
    connect(server, &QSServerViewModel::serverChanged, this, &QSTrayIcon::scheduleRebuild, Qt::UniqueConnection);
    QSServerStatus status = server->server().status;
    QMenu* item = menu_->addMenu(dotIcon(stateColor(status)),
                                 QString::fromStdString(project.name) + " — " + stateText(status));
    bool idle = status == QSServerStatus::stopped || status == QSServerStatus::error;
    QSUUID id = project.id;
    // The tray has no window to show a failure in: it becomes a notification.
    auto report = [self = QPointer<QSTrayIcon>(this)](const QString& error) {
      if (self && !error.isEmpty()) self->icon_->showMessage("Quayside", error, QSystemTrayIcon::Warning);
    };
    if (idle)
      item->addAction("Start", this, [&model, id, report] { model.startServer(id, report); });
    else
      item->addAction("Stop", this, [&model, id, report] { model.stopServer(id, report); });
    QString url = model.projectURL(project);
    item->addAction("Open in Browser", this, [url] { QDesktopServices::openUrl(QUrl(url)); })
        ->setEnabled(status == QSServerStatus::running);
  }
}

}  // namespace qs

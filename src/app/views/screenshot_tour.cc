#include "app/views/screenshot_tour.h"

#include "app/shell/app_delegate.h"
#include "app/viewmodels/app_view_model.h"
#include "app/viewmodels/server_view_model.h"
#include "app/views/logs_tab.h"
#include "app/views/mail_box_window.h"
#include "app/views/main_window.h"
#include "app/views/settings_window.h"
#include "app/views/tray_icon.h"

#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QPixmap>
#include <QTabWidget>
#include <QTreeWidget>
#include <QTimer>

namespace qs {
namespace {

constexpr int kPollMs = 100;
constexpr int kPatience = 300;  // 30 seconds

}  // namespace

QSScreenshotTour::QSScreenshotTour(QSAppDelegate& app, QSMainWindow& window, QString folder, QObject* parent)
    : QObject(parent), app_(app), window_(window), folder_(std::move(folder)) {}

void QSScreenshotTour::start() {
  QDir().mkpath(folder_);
  waitForContent(kPatience);
}

void QSScreenshotTour::waitForContent(int attemptsLeft) {
  QSAppViewModel& model = app_.appViewModel();
  bool ready = model.isStartupComplete() && !model.projects().empty();
  if (ready) {
    QSServerViewModel* server = model.serverViewModel(model.projects().front().id);
    ready = !server->consoleOutput().empty() && !server->logs().empty();
  }
  if (ready || attemptsLeft == 0) {
    // One more turn of the event loop so that coalesced repaints have happened.
    QTimer::singleShot(kPollMs, this, &QSScreenshotTour::capture);
    return;
  }
  QTimer::singleShot(kPollMs, this, [this, attemptsLeft] { waitForContent(attemptsLeft - 1); });
}

bool QSScreenshotTour::save(QWidget& widget, const QString& name) {
  return widget.grab().save(QDir(folder_).filePath(name + ".png"));
}

void QSScreenshotTour::capture() {
  bool ok = true;
  window_.logsTab()->flushConsole();
  const char* names[] = {"overview", "environment", "domains", "databases", "logs"};
  for (int i = 0; i < window_.tabs()->count(); ++i) {
    window_.tabs()->setCurrentIndex(i);
    ok &= save(window_, QString("main-%1").arg(names[i]));
  }
  window_.tabs()->setCurrentIndex(0);
  QSSettingsWindow settings(app_, &window_);
  settings.show();
  settings.reloadEngines();
  const char* pages[] = {"general", "services", "network", "daemon"};
  for (int i = 0; i < settings.pages()->count(); ++i) {
    settings.pages()->setCurrentIndex(i);
    ok &= save(settings, QString("settings-%1").arg(pages[i]));
  }
  QSTrayIcon tray(app_);
  tray.rebuild();
  tray.menu()->adjustSize();
  ok &= save(*tray.menu(), "tray-menu");
  // The mail box with the newest message that has an HTML part selected.
  QSMailBoxWindow* mail = window_.showMailBox();
  for (int i = 0; i < mail->list()->topLevelItemCount(); ++i) {
    mail->list()->setCurrentItem(mail->list()->topLevelItem(i));
    if (mail->selectedMessage() && mail->parts()->isTabEnabled(0)) break;
  }
  // The header grew with the message: lay the window out again before the picture.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  ok &= save(*mail, "mail-box");
  mail->close();
  emit finished(ok);
}

}  // namespace qs

#include "app/views/screenshot_tour.h"

#include "app/shell/app_delegate.h"
#include "app/viewmodels/app_view_model.h"
#include "app/viewmodels/server_view_model.h"
#include "app/views/backups_sheet.h"
#include "app/views/logs_tab.h"
#include "app/views/main_window.h"
#include "app/views/publish_sheet.h"
#include "app/views/settings_window.h"
#include "app/views/tray_icon.h"
#include "core/databases/backup_service.h"
#include "core/platform/process_environment.h"

#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QTabWidget>
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
  ok &= captureBackups();
  capturePublish(ok);
}

bool QSScreenshotTour::captureBackups() {
  // The first project with a database that has snapshots, else the first project.
  QSAppViewModel& model = app_.appViewModel();
  QSUUID id = model.projects().front().id;
  for (const QSProject& p : model.projects()) {
    const QSDatabase* d = model.database(p.databaseID);
    if (d && QSBackupService::supports(d->type)) {
      id = p.id;
      break;
    }
  }
  QSBackupsSheet sheet(app_, id, &window_);
  sheet.show();
  return save(sheet, "sheet-backups");
}

void QSScreenshotTour::capturePublish(bool ok) {
  auto* sheet = new QSPublishSheet(app_, app_.appViewModel().projects().front().id, &window_);
  sheet->setAttribute(Qt::WA_DeleteOnClose);
  sheet->show();
  // A publish runs only against a hosting service named for the purpose (scripts/screenshots
  // starts a stand-in); otherwise the sheet is shown as it opens.
  if (environmentValue("QS_HOSTING_URL")) {
    sheet->checkAvailability();
    sheet->publish();
  }
  waitForPublish(sheet, ok, kPatience);
}

void QSScreenshotTour::waitForPublish(QSPublishSheet* sheet, bool ok, int attemptsLeft) {
  bool settled = !sheet->isPublishing() && !sheet->availabilityLabel()->text().startsWith("Checking");
  if (!settled && attemptsLeft > 0) {
    QTimer::singleShot(kPollMs, this, [this, sheet, ok, attemptsLeft] { waitForPublish(sheet, ok, attemptsLeft - 1); });
    return;
  }
  QTimer::singleShot(kPollMs, this, [this, sheet, ok] {
    bool saved = save(*sheet, "sheet-publish");
    sheet->close();
    emit finished(ok && saved);
  });
}

}  // namespace qs

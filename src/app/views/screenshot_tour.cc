#include "app/views/screenshot_tour.h"

#include "app/shell/app_delegate.h"
#include "app/viewmodels/app_view_model.h"
#include "app/viewmodels/server_view_model.h"
#include "app/views/backups_sheet.h"
#include "app/views/logs_tab.h"
#include "app/views/help_window.h"
#include "app/views/mail_box_window.h"
#include "app/views/main_window.h"
#include "app/views/onboarding_window.h"
#include "app/views/publish_sheet.h"
#include "app/views/settings_window.h"
#include "app/views/site_import_sheet.h"
#include "app/views/site_resync_sheet.h"
#include "app/views/tray_icon.h"
#include "app/views/uninstall_sheet.h"
#include "app/site/sync_manifest.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/databases/backup_service.h"
#include "core/platform/process_environment.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
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
  for (int i = 0; i < settings.pages()->count(); ++i) {
    settings.pages()->setCurrentIndex(i);
    QString page = settings.pages()->tabText(i).toLower().remove('&').replace(' ', '-');
    ok &= save(settings, QString("settings-%1").arg(page));
  }
  QSOnboardingWindow* welcome = window_.showOnboarding();
  ok &= save(*welcome, "onboarding");
  welcome->hide();
  QSHelpWindow* help = window_.showHelp();
  for (const char* page : {"Projects", "The Command Line"}) {
    help->showPage(page);
    ok &= save(*help, QString("help-%1").arg(QString(page).toLower().replace(' ', '-')));
  }
  help->hide();
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
  ok_ = ok && captureBackups();
  capturePublish();
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

void QSScreenshotTour::capturePublish() {
  auto* sheet = new QSPublishSheet(app_, app_.appViewModel().projects().front().id, &window_);
  sheet->setAttribute(Qt::WA_DeleteOnClose);
  sheet->show();
  // A publish runs only against a hosting service named for the purpose (scripts/screenshots
  // starts a stand-in); otherwise the sheet is shown as it opens.
  if (environmentValue("QS_HOSTING_URL")) {
    sheet->checkAvailability();
    sheet->publish();
  }
  waitForPublish(sheet, kPatience);
}

void QSScreenshotTour::waitForPublish(QSPublishSheet* sheet, int attemptsLeft) {
  bool settled = !sheet->isPublishing() && !sheet->availabilityLabel()->text().startsWith("Checking");
  if (!settled && attemptsLeft > 0) {
    QTimer::singleShot(kPollMs, this, [this, sheet, attemptsLeft] { waitForPublish(sheet, attemptsLeft - 1); });
    return;
  }
  QTimer::singleShot(kPollMs, this, [this, sheet] {
    ok_ &= save(*sheet, "sheet-publish");
    sheet->close();
    // Uninstall comes last: its run removes what the other sheets show.
    captureSheets();
  });
}

void QSScreenshotTour::captureSheets() {
  QDir designs(QString::fromStdString((QSPaths::home() / "Designs").string()));
  QStringList documents = designs.entryList({"*.brp"}, QDir::Files, QDir::Name);
  if (!documents.isEmpty()) {
    QSSiteImportSheet import(app_.appViewModel(), &window_);
    import.setDocument(designs.filePath(documents.front()));
    import.show();
    ok_ &= save(import, "sheet-new-from-document");
  }
  QSUninstallSheet uninstall(app_, std::nullopt, &window_);
  uninstall.show();
  ok_ &= save(uninstall, "sheet-uninstall");
  for (const QSProject& project : app_.appViewModel().projects()) {
    if (!fileExists(project.path / std::string(QSSyncManifest::relativePath))) continue;
    auto* resync = new QSSiteResyncSheet(app_.appViewModel(), project.id, &window_);
    resync->show();
    return captureResync(resync, kPatience);
  }
  captureUninstall();
}

void QSScreenshotTour::captureResync(QWidget* sheet, int attemptsLeft) {
  auto* resync = static_cast<QSSiteResyncSheet*>(sheet);
  if (!resync->hasPlan() && attemptsLeft > 0) {
    QTimer::singleShot(kPollMs, this, [this, sheet, attemptsLeft] { captureResync(sheet, attemptsLeft - 1); });
    return;
  }
  ok_ &= save(*resync, "sheet-resync");
  delete resync;
  captureUninstall();
}

void QSScreenshotTour::captureUninstall() {
  // Last, since it takes the services down: the steps that stay inside the scratch home (links,
  // login items, the data folder), never .test routing or the system's trust store.
  auto* sheet = new QSUninstallSheet(app_, std::nullopt, &window_);
  sheet->routingBox()->setChecked(false);
  sheet->certificateBox()->setChecked(false);
  sheet->dataBox()->setChecked(true);
  sheet->show();
  sheet->uninstall();
  waitForUninstall(sheet, kPatience);
}

void QSScreenshotTour::waitForUninstall(QWidget* sheet, int attemptsLeft) {
  auto* uninstall = static_cast<QSUninstallSheet*>(sheet);
  if (!uninstall->isFinished() && attemptsLeft > 0) {
    QTimer::singleShot(kPollMs, this, [this, sheet, attemptsLeft] { waitForUninstall(sheet, attemptsLeft - 1); });
    return;
  }
  uninstall->adjustSize();
  ok_ &= uninstall->isFinished() && save(*uninstall, "sheet-uninstall-done");
  delete uninstall;
  finish();
}

void QSScreenshotTour::finish() { emit finished(ok_); }

}  // namespace qs

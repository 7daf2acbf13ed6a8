// Writes a PNG of every screen (each tab of the first project, each Settings page, the mail box,
// the Welcome window, the help guide, the tray menu, the sheets) into a folder, from the widgets'
// own rendering: what scripts/screenshots runs to keep the README's pictures and the layout honest.
#pragma once

#include <QObject>
#include <QString>

namespace qs {

class QSAppDelegate;
class QSMainWindow;
class QSPublishSheet;

class QSScreenshotTour : public QObject {
  Q_OBJECT
public:
  QSScreenshotTour(QSAppDelegate& app, QSMainWindow& window, QString folder, QObject* parent = nullptr);

  // Waits until the services are mirrored and the first project's console has lines, then
  // writes the pictures and emits finished (with false when a picture could not be written).
  void start();

signals:
  void finished(bool ok);

private:
  void waitForContent(int attemptsLeft);
  void capture();
  bool captureBackups();
  // Publishes the first project (when a hosting service is configured) and pictures the sheet
  // once the publish has ended; then the other sheets.
  void capturePublish();
  void waitForPublish(QSPublishSheet* sheet, int attemptsLeft);
  // The sheets, each with the data of the scratch home: New Project from Site Document (the
  // first .brp in ~/Designs), Re-sync (the first project exported from a document, its plan
  // made) and Uninstall, before and after its run; then finished is emitted.
  void captureSheets();
  void captureResync(QWidget* sheet, int attemptsLeft);
  // Uninstall run to its end with the steps that stay inside the scratch home.
  void captureUninstall();
  void waitForUninstall(QWidget* sheet, int attemptsLeft);
  void finish();
  bool save(QWidget& widget, const QString& name);

  QSAppDelegate& app_;
  QSMainWindow& window_;
  QString folder_;
  bool ok_ = true;
};

}  // namespace qs

// Writes a PNG of every screen (each tab of the first project, each Settings page, the tray
// menu, the mail box) into a folder, from the widgets' own rendering: what scripts/screenshots runs to keep
// the README's pictures and the layout honest.
#pragma once

#include <QObject>
#include <QString>

namespace qs {

class QSAppDelegate;
class QSMainWindow;

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
  bool save(QWidget& widget, const QString& name);

  QSAppDelegate& app_;
  QSMainWindow& window_;
  QString folder_;
};

}  // namespace qs

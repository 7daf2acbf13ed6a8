// The tray icon and its menu: each project with its state and Start/Stop, Open in Browser,
// "Daemon Out of Date" when it is, Show Quayside and Quit.
#pragma once

#include <QObject>

class QMenu;
class QSystemTrayIcon;

namespace qs {

class QSAppDelegate;

class QSTrayIcon : public QObject {
  Q_OBJECT
public:
  QSTrayIcon(QSAppDelegate& app, QObject* parent = nullptr);
  ~QSTrayIcon() override;

  // Whether the desktop shows tray icons; without one, closing the window quits.
  static bool isAvailable();
  void show();
  QMenu* menu() const { return menu_; }
  // Fills the menu from the model now (it otherwise follows the model's changes).
  void rebuild();

signals:
  void showWindowRequested();
  void quitRequested();

private:
  void scheduleRebuild();
  void addProjectItems();

  QSAppDelegate& app_;
  QMenu* menu_;
  QSystemTrayIcon* icon_;
  bool rebuildPending_ = false;
};

}  // namespace qs

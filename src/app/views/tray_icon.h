// The tray icon and its menu: each project with its state and Start/Stop, Open in Browser,
// Mail (with the unread count, which the icon also shows), "Daemon Out of Date" when it is,
// Show Quayside and Quit.
#pragma once

#include <QObject>

class QIcon;
class QMenu;
class QString;
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
  // What the icon shows now (its tooltip names the unread mail too).
  QString toolTip() const;
  QIcon icon() const;

signals:
  void showWindowRequested();
  void mailRequested();
  void quitRequested();

private:
  void scheduleRebuild();
  void addProjectItems();
  void refreshUnread();

  QSAppDelegate& app_;
  QMenu* menu_;
  QSystemTrayIcon* icon_;
  bool rebuildPending_ = false;
};

}  // namespace qs

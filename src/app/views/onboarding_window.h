// Getting started: what this computer has and lacks for Quayside (a Swift toolchain, database
// engines, .test routing, trust in the local certificate authority, the background services),
// each missing piece with the one action that provides it. Shown at the first launch and from
// the Help menu; every row is checked again after an action and whenever the window comes back
// to the front.
#pragma once

#include <QDialog>

#include <array>

class QLabel;
class QPushButton;

namespace qs {

class QSAppDelegate;
class QSSettings;

class QSOnboardingWindow : public QDialog {
  Q_OBJECT
public:
  enum Row { swift, engines, routing, trust, services, rowCount };

  QSOnboardingWindow(QSAppDelegate& app, QWidget* parent = nullptr);

  bool isReady(Row row) const { return ready_[row]; }
  QLabel* detailLabel(Row row) const { return rows_[row].detail; }
  QPushButton* actionButton(Row row) const { return rows_[row].action; }
  QPushButton* doneButton() const { return done_; }
  QLabel* messageLabel() const { return message_; }
  // Checks every row again.
  void recheck();

  // Whether the first launch still has to show this window.
  static bool isDue(const QSSettings& settings);

signals:
  // The Settings window, on the page of this name ("Services", "General").
  void settingsPageRequested(const QString& page);
  void helpRequested();

protected:
  void changeEvent(QEvent* event) override;

private:
  struct RowWidgets {
    QLabel* dot;
    QLabel* title;
    QLabel* detail;
    QPushButton* action;
  };
  void setRow(Row row, bool ready, const QString& detail, const QString& action = {});
  void act(Row row);

  QSAppDelegate& app_;
  std::array<RowWidgets, rowCount> rows_{};
  std::array<bool, rowCount> ready_{};
  QLabel* summary_;
  QLabel* message_;
  QPushButton* done_;
};

}  // namespace qs

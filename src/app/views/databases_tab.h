// A project's Databases tab: the linked databases with their state, address and snapshots,
// start/stop, and provisioning a new one for the project.
#pragma once

#include "app/views/project_tab.h"
#include "core/models/database.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace qs {

class QSDatabasesTab : public QSProjectTab {
  Q_OBJECT
public:
  enum Column { nameColumn, typeColumn, stateColumn, urlColumn, backupsColumn };

  QSDatabasesTab(QSAppViewModel& model, QWidget* parent = nullptr);

  QTableWidget* table() const { return table_; }
  QComboBox* typeBox() const { return type_; }
  QLineEdit* userEdit() const { return user_; }
  QLineEdit* passwordEdit() const { return password_; }
  QPushButton* provisionButton() const { return provision_; }
  QPushButton* startButton() const { return start_; }
  QPushButton* stopButton() const { return stop_; }
  QLineEdit* consoleCommand() const { return console_; }
  QPushButton* openConsoleButton() const { return openConsole_; }

  // The command that opens the database's own console, ready to paste into a terminal.
  static QString consoleCommandFor(const QSDatabase& database);
  // The same with the client's full path when Quayside installed the engine (its clients are
  // not on PATH): what Open Console runs in the preferred terminal.
  static QString terminalCommandFor(const QSDatabase& database);

protected:
  void refresh() override;

private:
  QWidget* makeProvisionBox();
  std::vector<const QSDatabase*> linked() const;
  const QSDatabase* selected() const;
  void selectionMoved();
  void provision();

  QTableWidget* table_;
  QPushButton* start_;
  QPushButton* stop_;
  QPushButton* copyURL_;
  QLineEdit* console_;
  QPushButton* openConsole_;
  QComboBox* type_;
  QLineEdit* user_;
  QLineEdit* password_;
  QPushButton* provision_;
};

}  // namespace qs

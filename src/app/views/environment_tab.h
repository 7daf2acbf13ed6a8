// A project's Environment tab: its variables as an editable table. Every edit goes through the
// engine, which keeps the .env file's layout and comments.
#pragma once

#include "app/views/project_tab.h"

class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace qs {

class QSEnvironmentTab : public QSProjectTab {
  Q_OBJECT
public:
  enum Column { enabledColumn, keyColumn, valueColumn, linkColumn };

  QSEnvironmentTab(QSAppViewModel& model, QWidget* parent = nullptr);

  QTableWidget* table() const { return table_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* removeButton() const { return remove_; }
  // Adds or changes a variable (what the Add button asks for).
  void addVariable(const QString& key, const QString& value);

  // The keys that carry a linked database's connection.
  static bool isDatabaseKey(const QString& key);

protected:
  void refresh() override;

private:
  void cellEdited(QTableWidgetItem* item);
  void askForVariable();
  void removeSelected();

  QTableWidget* table_;
  QPushButton* add_;
  QPushButton* remove_;
  bool filling_ = false;
};

}  // namespace qs

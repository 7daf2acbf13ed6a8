// The dialogs that create and remove projects: New Project (a scaffolded Vapor package,
// optionally with a database) and Remove (with the drop-database and trash choices).
#pragma once

#include "core/models/project.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace qs {

class QSAppViewModel;

class QSNewProjectDialog : public QDialog {
  Q_OBJECT
public:
  QSNewProjectDialog(QSAppViewModel& model, QWidget* parent = nullptr);

  QLineEdit* nameEdit() const { return name_; }
  QLineEdit* folderEdit() const { return folder_; }
  QComboBox* databaseBox() const { return database_; }
  QLabel* messageLabel() const { return message_; }
  // Creates the project (and its database); the dialog closes when both succeeded.
  void create();

signals:
  void created(const QSUUID& projectID);

private:
  void provisionFor(const QSUUID& projectID);

  QSAppViewModel& model_;
  QLineEdit* name_;
  QLineEdit* folder_;
  QSpinBox* port_;
  QCheckBox* git_;
  QCheckBox* errorPages_;
  QComboBox* database_;
  QLabel* message_;
  QDialogButtonBox* buttons_;
};

class QSRemoveProjectDialog : public QDialog {
  Q_OBJECT
public:
  QSRemoveProjectDialog(QSAppViewModel& model, QSUUID projectID, QWidget* parent = nullptr);

  QCheckBox* dropDatabaseBox() const { return dropDatabase_; }
  QCheckBox* trashBox() const { return trash_; }
  QLabel* messageLabel() const { return message_; }
  void remove();

private:
  QSAppViewModel& model_;
  QSUUID projectID_;
  QCheckBox* dropDatabase_;
  QCheckBox* trash_;
  QLabel* message_;
  QDialogButtonBox* buttons_;
};

}  // namespace qs

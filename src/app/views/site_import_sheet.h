// New Project from Site Document: a site builder document becomes a Vapor project in the
// projects folder (optionally a git repository), which is then added and selected.
#pragma once

#include "core/models/project.h"

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace qs {

class QSAppViewModel;

class QSSiteImportSheet : public QDialog {
  Q_OBJECT
public:
  QSSiteImportSheet(QSAppViewModel& model, QWidget* parent = nullptr);

  QLineEdit* documentEdit() const { return document_; }
  QLineEdit* nameEdit() const { return name_; }
  QLineEdit* folderEdit() const { return folder_; }
  QCheckBox* gitBox() const { return git_; }
  QLabel* targetLabel() const { return target_; }
  QLabel* messageLabel() const { return message_; }
  QPushButton* createButton() const { return create_; }
  QProgressBar* progressBar() const { return progress_; }

  // Takes the document and, unless the user typed a name of their own, its name.
  void setDocument(const QString& path);
  // Writes the project off the GUI thread, then adds it; the sheet closes once it is selected.
  void create();

  // "Site documents (*.brp)": the filter of the document choosers.
  static const char* const documentFilter;

signals:
  void imported(const QSUUID& projectID);

private:
  void refreshTarget();
  void setBusy(bool busy, const QString& text);
  void addToServices(const QString& folder);
  void fail(const QString& text);
  std::vector<std::string> existingNames() const;

  QSAppViewModel& model_;
  QLineEdit* document_;
  QLineEdit* name_;
  QLineEdit* folder_;
  QCheckBox* git_;
  QLabel* target_;
  QProgressBar* progress_;
  QLabel* message_;
  QDialogButtonBox* buttons_;
  QPushButton* create_;
  QString suggestedName_;  // the name the document gave; replaced when the document changes
  bool busy_ = false;
};

}  // namespace qs

// The mail box: the caught messages (all, or one project's), newest first with unread ones in
// bold, a search field, Delete and Clear; the selected message's headers, its HTML part (shown
// safely), its text, every header, its source, and its attachments to save or open.
#pragma once

#include "core/models/json_coding.h"

#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;

namespace qs {

class QSAppViewModel;
class QSMailBoxModel;
class QSMailHtmlView;

class QSMailBoxWindow : public QWidget {
  Q_OBJECT
public:
  explicit QSMailBoxWindow(QSAppViewModel& model, QWidget* parent = nullptr);

  QTreeWidget* list() const { return list_; }
  QComboBox* projectFilter() const { return project_; }
  QLineEdit* searchField() const { return search_; }
  QPushButton* deleteButton() const { return delete_; }
  QPushButton* clearButton() const { return clear_; }
  QLabel* statusLabel() const { return status_; }
  QLabel* headerLabel() const { return header_; }
  QTabWidget* parts() const { return parts_; }
  QSMailHtmlView* htmlView() const { return html_; }
  QPlainTextEdit* textView() const { return text_; }
  QListWidget* attachmentList() const { return attachments_; }

  std::optional<QSUUID> selectedMessage() const { return selected_; }
  void selectMessage(const QSUUID& id);
  // Deletes the selected message.
  void deleteSelected();
  // Asks, then deletes every message.
  void clearAll();
  // Shows only the mail of `project` (a project's name, "other", or empty for all).
  void setProjectFilter(const QString& project);

protected:
  void showEvent(QShowEvent* event) override;

private:
  void rebuildList();
  void refreshProjects();
  void refreshStatus();
  void refreshTitle();
  void showSelected();
  void saveAttachment();
  void openAttachment();

  QSAppViewModel& model_;
  QSMailBoxModel& mail_;
  QComboBox* project_;
  QLineEdit* search_;
  QPushButton* delete_;
  QPushButton* clear_;
  QLabel* status_;
  QTreeWidget* list_;
  QLabel* header_;
  QTabWidget* parts_;
  QSMailHtmlView* html_;
  QPlainTextEdit* text_;
  QPlainTextEdit* headers_;
  QPlainTextEdit* source_;
  QListWidget* attachments_;
  QPushButton* saveAttachment_;
  QPushButton* openAttachment_;
  QLabel* message_;
  std::optional<QSUUID> selected_;
  bool rebuilding_ = false;
};

}  // namespace qs

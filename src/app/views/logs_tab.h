// A project's Logs tab: the server's console (follows the tail unless scrolled up, search,
// clear) above its request log.
#pragma once

#include "app/views/project_tab.h"

#include <cstdint>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace qs {

class QSRequestLogTableModel;

class QSLogsTab : public QSProjectTab {
  Q_OBJECT
public:
  QSLogsTab(QSAppViewModel& model, QWidget* parent = nullptr);

  QPlainTextEdit* console() const { return console_; }
  QTableView* requestTable() const { return requests_; }
  QLineEdit* searchEdit() const { return search_; }
  QPushButton* clearButton() const { return clear_; }
  // Shows what waits to be shown now (the view otherwise catches up once per event-loop turn).
  void flushConsole();

protected:
  void refresh() override;
  void followServer(QSServerViewModel& server) override;

private:
  void scheduleFlush();
  void findNext();

  QPlainTextEdit* console_;
  QLineEdit* search_;
  QPushButton* clear_;
  QTableView* requests_;
  QSRequestLogTableModel* requestModel_;
  QSortFilterProxyModel* sorted_;
  std::uint64_t shown_ = 0;  // lines of the server's console taken into the view
  bool flushPending_ = false;
};

}  // namespace qs

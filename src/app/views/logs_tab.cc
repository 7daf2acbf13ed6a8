#include "app/views/logs_tab.h"

#include "app/viewmodels/app_view_model.h"
#include "app/viewmodels/server_view_model.h"
#include "app/views/request_log_table_model.h"
#include "app/views/view_style.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace qs {

QSLogsTab::QSLogsTab(QSAppViewModel& model, QWidget* parent)
    : QSProjectTab(model, parent),
      console_(new QPlainTextEdit(this)),
      search_(new QLineEdit(this)),
      clear_(new QPushButton("Clear View", this)),
      requests_(new QTableView(this)),
      requestModel_(new QSRequestLogTableModel(this)),
      sorted_(new QSortFilterProxyModel(this)) {
  console_->setReadOnly(true);
  console_->setFont(monospaceFont());
  console_->setLineWrapMode(QPlainTextEdit::NoWrap);
  console_->setMaximumBlockCount(static_cast<int>(QSServerViewModel::maxConsoleLines));
  console_->setUndoRedoEnabled(false);
  search_->setPlaceholderText("Search the console (Enter finds the next match)");
  search_->setClearButtonEnabled(true);

  sorted_->setSourceModel(requestModel_);
  sorted_->setSortRole(Qt::UserRole);
  requests_->setModel(sorted_);
  requests_->setSortingEnabled(true);
  requests_->sortByColumn(QSRequestLogTableModel::timeColumn, Qt::DescendingOrder);
  requests_->verticalHeader()->hide();
  requests_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  requests_->horizontalHeader()->setSectionResizeMode(QSRequestLogTableModel::pathColumn, QHeaderView::Stretch);
  requests_->setSelectionBehavior(QAbstractItemView::SelectRows);
  requests_->setAlternatingRowColors(true);

  auto* consolePane = new QWidget(this);
  auto* consoleLayout = new QVBoxLayout(consolePane);
  consoleLayout->setContentsMargins(0, 0, 0, 0);
  auto* tools = new QHBoxLayout;
  tools->addWidget(new QLabel("Console", consolePane));
  tools->addWidget(search_, 1);
  tools->addWidget(clear_);
  consoleLayout->addLayout(tools);
  consoleLayout->addWidget(console_);
  auto* requestPane = new QWidget(this);
  auto* requestLayout = new QVBoxLayout(requestPane);
  requestLayout->setContentsMargins(0, 0, 0, 0);
  requestLayout->addWidget(new QLabel("Requests", requestPane));
  requestLayout->addWidget(requests_);

  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(consolePane);
  split->addWidget(requestPane);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(split);
  layout->addWidget(messageLabel());

  connect(search_, &QLineEdit::returnPressed, this, &QSLogsTab::findNext);
  connect(clear_, &QPushButton::clicked, this, [this] {
    console_->clear();
    if (server()) shown_ = server()->consoleLinesReceived();
  });
}

void QSLogsTab::followServer(QSServerViewModel& server) {
  console_->clear();
  shown_ = 0;
  requestModel_->setServer(&server);
  serverConnections_.push_back(connect(&server, &QSServerViewModel::consoleChanged, this, &QSLogsTab::scheduleFlush));
  serverConnections_.push_back(connect(&server, &QSServerViewModel::consoleRestored, this, [this, &server] {
    QStringList text(server.consoleOutput().begin(), server.consoleOutput().end());
    console_->setPlainText(text.join('\n'));
    console_->verticalScrollBar()->setValue(console_->verticalScrollBar()->maximum());
    shown_ = server.consoleLinesReceived();
  }));
  flushConsole();
  // What the server printed before the app connected (or before this project was first shown).
  model_.loadHistory(server.projectID());
}

void QSLogsTab::refresh() {
  setEnabled(project() != nullptr);
  if (!project()) requestModel_->setServer(nullptr);
}

// A flood of lines costs one repaint per event-loop turn, however many lines came.
void QSLogsTab::scheduleFlush() {
  if (flushPending_) return;
  flushPending_ = true;
  QTimer::singleShot(0, this, [this] {
    flushPending_ = false;
    flushConsole();
  });
}

void QSLogsTab::flushConsole() {
  QSServerViewModel* s = server();
  if (!s) return;
  std::uint64_t received = s->consoleLinesReceived();
  if (received == shown_) return;
  const auto& lines = s->consoleOutput();
  std::size_t fresh = static_cast<std::size_t>(std::min<std::uint64_t>(received - shown_, lines.size()));
  shown_ = received;
  QScrollBar* bar = console_->verticalScrollBar();
  bool following = bar->value() >= bar->maximum() - 2;
  int kept = bar->value();
  QStringList text;
  text.reserve(static_cast<qsizetype>(fresh));
  for (std::size_t i = lines.size() - fresh; i < lines.size(); ++i) text << lines[i];
  console_->appendPlainText(text.join('\n'));
  // Reading further up is not interrupted by new lines.
  bar->setValue(following ? bar->maximum() : kept);
}

void QSLogsTab::findNext() {
  QString needle = search_->text();
  if (needle.isEmpty()) return;
  if (console_->find(needle)) return;
  console_->moveCursor(QTextCursor::Start);  // wrap around
  if (!console_->find(needle)) report("No line of the console contains \"" + needle + "\".", false);
}

}  // namespace qs

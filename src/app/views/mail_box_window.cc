#include "app/views/mail_box_window.h"

#include "app/viewmodels/app_view_model.h"
#include "app/viewmodels/mail_box_model.h"
#include "app/views/mail_html_view.h"
#include "app/views/view_style.h"
#include "core/mail/mail_selection.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"

#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace qs {
namespace {

enum Part { htmlPart, textPart, headersPart, sourcePart };
constexpr qsizetype maxSourceShown = 2 * 1024 * 1024;

QString qtext(const std::string& text) { return QString::fromStdString(text); }

// "14:05" today, "3 Dec 14:05" this year, "3 Dec 2025" before.
QString shownTime(QSTimestamp time) {
  QDateTime when = QDateTime::fromMSecsSinceEpoch(time.time_since_epoch().count());
  QDate today = QDate::currentDate();
  if (when.date() == today) return when.toString("HH:mm");
  if (when.date().year() == today.year()) return when.toString("d MMM HH:mm");
  return when.toString("d MMM yyyy");
}

// The full time, for the message's own header.
QString fullTime(QSTimestamp time) {
  return QDateTime::fromMSecsSinceEpoch(time.time_since_epoch().count()).toString("ddd d MMM yyyy, HH:mm:ss");
}

// The space of the unread dot, left blank for a read message so that the columns line up.
QIcon blankIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return QIcon(pixmap);
}

QString byteCount(std::int64_t bytes) { return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat); }

QString joined(const std::vector<std::string>& items) {
  QStringList out;
  for (const auto& item : items) out << qtext(item);
  return out.join(", ");
}

// Attachments that a desktop may run rather than show when they are opened: only saved.
bool mayRun(const QSMailAttachment& a) {
  static const QStringList types = {"application/x-desktop", "application/x-executable", "application/x-sharedlib",
                                    "application/x-shellscript", "application/x-sh", "application/x-msdownload",
                                    "application/vnd.microsoft.portable-executable", "text/x-shellscript"};
  static const QStringList suffixes = {".desktop", ".sh", ".run", ".appimage", ".exe", ".bat", ".cmd", ".jar", ".py"};
  QString name = qtext(a.filename).toLower();
  for (const QString& suffix : suffixes)
    if (name.endsWith(suffix)) return true;
  return types.contains(qtext(a.contentType));
}

}  // namespace

QSMailBoxWindow::QSMailBoxWindow(QSAppViewModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window),
      model_(model),
      mail_(model.mailBox()),
      project_(new QComboBox(this)),
      search_(new QLineEdit(this)),
      delete_(new QPushButton("Delete", this)),
      clear_(new QPushButton("Clear…", this)),
      status_(new QLabel(this)),
      list_(new QTreeWidget(this)),
      header_(new QLabel(this)),
      parts_(new QTabWidget(this)),
      html_(new QSMailHtmlView(this)),
      text_(new QPlainTextEdit(this)),
      headers_(new QPlainTextEdit(this)),
      source_(new QPlainTextEdit(this)),
      attachments_(new QListWidget(this)),
      saveAttachment_(new QPushButton("Save…", this)),
      openAttachment_(new QPushButton("Open", this)),
      message_(makeMessageLabel(this)) {
  setWindowIcon(appIcon());
  project_->setMinimumContentsLength(14);
  project_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  search_->setPlaceholderText("Search subject, addresses and text");
  search_->setClearButtonEnabled(true);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  list_->setColumnCount(4);
  list_->setHeaderLabels({"From", "Subject", "Project", "Received"});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  list_->setColumnWidth(0, 170);
  list_->setColumnWidth(2, 70);
  list_->setColumnWidth(3, 90);

  header_->setWordWrap(true);
  header_->setTextFormat(Qt::RichText);
  header_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  header_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  header_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
  for (QPlainTextEdit* view : {text_, headers_, source_}) {
    view->setReadOnly(true);
    view->setFont(monospaceFont());
  }
  text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  parts_->addTab(html_, "HTML");
  parts_->addTab(text_, "Text");
  parts_->addTab(headers_, "Headers");
  parts_->addTab(source_, "Source");
  attachments_->setMaximumHeight(90);

  auto* top = new QHBoxLayout;
  top->addWidget(project_);
  top->addWidget(search_, 1);
  top->addWidget(delete_);
  top->addWidget(clear_);
  auto* attachmentButtons = new QVBoxLayout;
  attachmentButtons->addWidget(saveAttachment_);
  attachmentButtons->addWidget(openAttachment_);
  attachmentButtons->addStretch(1);
  auto* attachmentRow = new QHBoxLayout;
  attachmentRow->addWidget(attachments_, 1);
  attachmentRow->addLayout(attachmentButtons);
  auto* viewer = new QWidget(this);
  auto* viewerLayout = new QVBoxLayout(viewer);
  viewerLayout->setContentsMargins(0, 0, 0, 0);
  viewerLayout->addWidget(header_);
  viewerLayout->addWidget(parts_, 1);
  viewerLayout->addLayout(attachmentRow);
  auto* split = new QSplitter(Qt::Horizontal, this);
  split->addWidget(list_);
  split->addWidget(viewer);
  split->setStretchFactor(0, 2);
  split->setStretchFactor(1, 3);
  split->setSizes({560, 540});
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(status_);
  layout->addWidget(message_);
  layout->addWidget(split, 1);
  resize(1100, 700);

  connect(&mail_, &QSMailBoxModel::messagesChanged, this, &QSMailBoxWindow::rebuildList);
  connect(&mail_, &QSMailBoxModel::unreadCountChanged, this, &QSMailBoxWindow::refreshTitle);
  connect(&model_, &QSAppViewModel::projectsChanged, this, &QSMailBoxWindow::refreshProjects);
  connect(&model_, &QSAppViewModel::networkChanged, this, &QSMailBoxWindow::refreshStatus);
  connect(project_, &QComboBox::currentIndexChanged, this, &QSMailBoxWindow::rebuildList);
  connect(search_, &QLineEdit::textChanged, this, &QSMailBoxWindow::rebuildList);
  connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (rebuilding_) return;
    selected_ = item ? QSUUID::parse(item->data(0, Qt::UserRole).toString().toStdString()) : std::nullopt;
    showSelected();
  });
  connect(delete_, &QPushButton::clicked, this, &QSMailBoxWindow::deleteSelected);
  connect(clear_, &QPushButton::clicked, this, &QSMailBoxWindow::clearAll);
  auto* deleteKey = new QShortcut(QKeySequence::Delete, list_);
  connect(deleteKey, &QShortcut::activated, this, &QSMailBoxWindow::deleteSelected);
  connect(saveAttachment_, &QPushButton::clicked, this, &QSMailBoxWindow::saveAttachment);
  connect(openAttachment_, &QPushButton::clicked, this, &QSMailBoxWindow::openAttachment);
  connect(attachments_, &QListWidget::itemDoubleClicked, this, &QSMailBoxWindow::openAttachment);
  connect(html_, &QSMailHtmlView::linkRefused, this, [this](const QUrl& url) {
    showMessage(message_, "Only web links (http and https) open from mail; this one isn't: " +
                              url.toString().left(120).toHtmlEscaped(), true);
  });

  refreshProjects();
  refreshStatus();
  refreshTitle();
  rebuildList();
}

void QSMailBoxWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // What other programs removed (qs mail rm, the catcher's pruning) goes.
  mail_.reload();
  // Not the list: focus there would open (and mark read) its first message.
  search_->setFocus();
}

void QSMailBoxWindow::refreshTitle() {
  int unread = mail_.unreadCount();
  setWindowTitle(unread ? QString("Mail — %1 unread").arg(unread) : QString("Mail"));
}

void QSMailBoxWindow::refreshStatus() {
  const auto& status = model_.mail();
  QString text;
  if (!status)
    text = "Not connected to the mail catcher; stored mail is listed.";
  else if (status->startError)
    text = "The mail catcher couldn't start: " + qtext(*status->startError);
  else if (!status->enabled)
    text = "The mail catcher is off (Settings → General → Mail); stored mail is listed.";
  else if (status->running)
    text = QString("Catching mail sent to smtp://127.0.0.1:%1 — point a project's MAIL_PORT there.").arg(status->port);
  else
    text = "The mail catcher isn't running.";
  status_->setText(text);
}

void QSMailBoxWindow::refreshProjects() {
  QString current = project_->currentData().toString();
  QStringList names;
  for (const QSProject& p : model_.projects()) names << qtext(p.name);
  for (const auto& e : mail_.messages())
    if (e.origin && !names.contains(qtext(e.origin->projectName))) names << qtext(e.origin->projectName);
  names.sort(Qt::CaseInsensitive);
  QSignalBlocker quiet(project_);
  project_->clear();
  project_->addItem("All Mail", QString());
  for (const QString& name : names) project_->addItem(name, name);
  project_->addItem("Other", QString("other"));
  int index = project_->findData(current);
  project_->setCurrentIndex(index < 0 ? 0 : index);
}

void QSMailBoxWindow::setProjectFilter(const QString& project) {
  int index = project_->findData(project);
  if (index < 0) {
    refreshProjects();
    index = project_->findData(project);
  }
  project_->setCurrentIndex(index < 0 ? 0 : index);
}

void QSMailBoxWindow::rebuildList() {
  rebuilding_ = true;
  list_->clear();
  QTreeWidgetItem* selectedItem = nullptr;
  QFont bold = list_->font();
  bold.setBold(true);
  QIcon unreadDot = dotIcon(QColor("#2f6fdb"), 9);
  QIcon readDot = blankIcon(9);
  bool unknownProject = false;
  for (const auto* e : mail_.filtered(project_->currentData().toString().toStdString(), search_->text().toStdString())) {
    const QSMailMessage& m = e->message;
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, m.from.empty() ? QString("(no sender)") : qtext(m.from));
    item->setText(1, m.subject.empty() ? QString("(no subject)") : qtext(m.subject));
    item->setText(2, e->origin ? qtext(e->origin->projectName) : QString("other"));
    item->setText(3, shownTime(m.receivedAt));
    item->setToolTip(1, qtext(m.subject));
    item->setData(0, Qt::UserRole, qtext(m.id.string()));
    bool unread = mail_.isUnread(m.id);
    item->setIcon(0, unread ? unreadDot : readDot);
    if (unread)
      for (int c = 0; c < 4; ++c) item->setFont(c, bold);
    if (selected_ && m.id == *selected_) selectedItem = item;
    if (e->origin && project_->findData(qtext(e->origin->projectName)) < 0) unknownProject = true;
  }
  if (selectedItem) list_->setCurrentItem(selectedItem);
  rebuilding_ = false;
  if (!selectedItem && selected_) {
    selected_.reset();
    showSelected();
  } else if (!selected_) {
    showSelected();
  }
  clear_->setEnabled(!mail_.messages().empty());
  if (unknownProject) refreshProjects();
}

void QSMailBoxWindow::selectMessage(const QSUUID& id) {
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list_->topLevelItem(i);
    if (item->data(0, Qt::UserRole).toString() == qtext(id.string())) {
      list_->setCurrentItem(item);
      return;
    }
  }
}

void QSMailBoxWindow::showSelected() {
  const QSMailBoxModel::Entry* entry = selected_ ? mail_.find(*selected_) : nullptr;
  delete_->setEnabled(entry != nullptr);
  attachments_->clear();
  if (!entry) {
    int count = list_->topLevelItemCount();
    header_->setText(count ? QString("<p>Select a message to read it.</p>")
                           : QString("<p>No mail here yet. Mail your projects send to the catcher shows up at "
                                     "once.</p>"));
    html_->showMessageHtml(QString());
    for (QPlainTextEdit* view : {text_, headers_, source_}) view->clear();
    for (int i = 0; i < parts_->count(); ++i) parts_->setTabEnabled(i, false);
    attachments_->hide();
    saveAttachment_->hide();
    openAttachment_->hide();
    return;
  }
  const QSMailMessage& m = entry->message;
  auto line = [](const QString& name, const QString& value) {
    return "<b>" + name + ":</b> " + value.toHtmlEscaped() + "<br>";
  };
  QString header = "<p style='font-size: large'><b>" +
                   (m.subject.empty() ? QString("(no subject)") : qtext(m.subject)).toHtmlEscaped() + "</b></p><p>";
  header += line("From", qtext(m.from));
  header += line("To", joined(m.to));
  if (!m.cc.empty()) header += line("Cc", joined(m.cc));
  header += line("Date", fullTime(m.receivedAt));
  header += line("Project", entry->origin ? qtext(entry->origin->projectName) : QString("other"));
  header += line("Size", byteCount(m.sizeBytes)) + "</p>";
  header_->setText(header);

  parts_->setTabEnabled(htmlPart, m.htmlBody.has_value());
  parts_->setTabEnabled(textPart, m.textBody.has_value());
  parts_->setTabEnabled(headersPart, true);
  parts_->setTabEnabled(sourcePart, true);
  html_->showMessageHtml(m.htmlBody ? qtext(*m.htmlBody) : QString());
  text_->setPlainText(m.textBody ? qtext(*m.textBody) : QString());
  QString headers;
  for (const auto& h : m.headers) headers += qtext(h.name) + ": " + qtext(h.value) + "\n";
  headers_->setPlainText(headers);
  QByteArray raw = QByteArray::fromStdString(m.raw);
  QString source = QString::fromUtf8(raw.left(maxSourceShown));
  if (raw.size() > maxSourceShown)
    source += QString("\n… (%1 more not shown)").arg(byteCount(raw.size() - maxSourceShown));
  source_->setPlainText(source);
  parts_->setCurrentIndex(m.htmlBody ? htmlPart : m.textBody ? textPart : headersPart);

  for (const auto& a : m.attachments)
    attachments_->addItem(QString("%1 (%2, %3)").arg(qtext(a.filename), qtext(a.contentType), byteCount(a.sizeBytes())));
  bool any = !m.attachments.empty();
  attachments_->setVisible(any);
  saveAttachment_->setVisible(any);
  openAttachment_->setVisible(any);
  if (any) attachments_->setCurrentRow(0);

  if (mail_.isUnread(m.id)) {
    mail_.markRead(m.id);
    if (QTreeWidgetItem* item = list_->currentItem()) {
      for (int c = 0; c < 4; ++c) item->setFont(c, list_->font());
      item->setIcon(0, blankIcon(9));
    }
  }
}

void QSMailBoxWindow::deleteSelected() {
  if (!selected_) return;
  QSUUID id = *selected_;
  selected_.reset();
  mail_.remove(id);
  showMessage(message_, "", false);
}

void QSMailBoxWindow::clearAll() {
  int count = static_cast<int>(mail_.messages().size());
  if (count == 0) return;
  auto* ask = new QMessageBox(QMessageBox::Question, "Clear Mail",
                              QString("Delete all %1 message%2? This can't be undone.").arg(count).arg(count == 1 ? "" : "s"),
                              QMessageBox::Cancel, this);
  QPushButton* confirm = ask->addButton("Delete All", QMessageBox::DestructiveRole);
  ask->setDefaultButton(QMessageBox::Cancel);
  ask->setAttribute(Qt::WA_DeleteOnClose);
  connect(ask, &QMessageBox::finished, this, [this, ask, confirm] {
    if (ask->clickedButton() != confirm) return;
    selected_.reset();
    mail_.clearAll();
  });
  ask->open();
}

void QSMailBoxWindow::saveAttachment() {
  const QSMailBoxModel::Entry* entry = selected_ ? mail_.find(*selected_) : nullptr;
  int row = attachments_->currentRow();
  if (!entry || row < 0 || row >= static_cast<int>(entry->message.attachments.size())) return;
  const QSMailAttachment& a = entry->message.attachments[row];
  QString downloads = QDir::home().filePath("Downloads");
  QString folder = QDir(downloads).exists() ? downloads : QDir::homePath();
  QString target = QFileDialog::getSaveFileName(this, "Save Attachment",
                                                QDir(folder).filePath(qtext(safeFileName(a.filename))));
  if (target.isEmpty()) return;
  try {
    writeFileAtomically(target.toStdString(),
                        std::string_view(reinterpret_cast<const char*>(a.data.data()), a.data.size()), 0644);
    showMessage(message_, "Saved " + target + ".", false);
  } catch (const std::exception& e) {
    showMessage(message_, QString("Couldn't save the attachment: ") + e.what(), true);
  }
}

void QSMailBoxWindow::openAttachment() {
  const QSMailBoxModel::Entry* entry = selected_ ? mail_.find(*selected_) : nullptr;
  int row = attachments_->currentRow();
  if (!entry || row < 0 || row >= static_cast<int>(entry->message.attachments.size())) return;
  const QSMailAttachment& a = entry->message.attachments[row];
  if (mayRun(a))
    return showMessage(message_, "Quayside doesn't open " + qtext(a.filename).toHtmlEscaped() +
                                     " from mail: it could run as a program. Save it and look at it first.", true);
  try {
    // A folder only this user can enter, and a file nobody can execute.
    auto folder = QSPaths::temporaryFolder() / ("qs-mail-" + QSUUID::random().string());
    createDirectories(folder, 0700);
    auto file = folder / safeFileName(a.filename);
    writeFileAtomically(file, std::string_view(reinterpret_cast<const char*>(a.data.data()), a.data.size()), 0600);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string()))))
      showMessage(message_, "No application here opens " + qtext(a.filename) + "; use Save… instead.", true);
  } catch (const std::exception& e) {
    showMessage(message_, QString("Couldn't open the attachment: ") + e.what(), true);
  }
}

}  // namespace qs

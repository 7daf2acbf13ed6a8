#include "app/views/help_window.h"

#include "app/views/view_style.h"

#include <QFile>
#include <QHBoxLayout>
#include <QListWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>

namespace qs {
namespace {

struct Page {
  const char* title;
  const char* resource;
};

constexpr Page kPages[] = {
    {"Projects", ":/help/projects.md"},   {"Databases", ":/help/databases.md"},
    {".test Names", ":/help/test-names.md"}, {"Mail", ":/help/mail.md"},
    {"Publishing", ":/help/publishing.md"}, {"The Command Line", ":/help/command-line.md"},
};

}  // namespace

QSHelpWindow::QSHelpWindow(QWidget* parent)
    : QDialog(parent), pages_(new QListWidget(this)), browser_(new QTextBrowser(this)) {
  setWindowTitle("Quayside Help");
  setWindowIcon(appIcon());
  for (const Page& page : kPages) pages_->addItem(page.title);
  pages_->setAccessibleName("Help pages");
  pages_->setFixedWidth(180);
  pages_->setSpacing(2);
  browser_->setOpenExternalLinks(true);
  browser_->document()->setDocumentMargin(14);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(pages_);
  layout->addWidget(browser_, 1);
  connect(pages_, &QListWidget::currentRowChanged, this, &QSHelpWindow::showRow);
  pages_->setCurrentRow(0);
  resize(820, 580);
}

bool QSHelpWindow::showPage(const QString& title) {
  QList<QListWidgetItem*> found = pages_->findItems(title, Qt::MatchExactly);
  if (found.isEmpty()) return false;
  pages_->setCurrentItem(found.front());
  return true;
}

void QSHelpWindow::showRow(int row) {
  if (row < 0 || row >= static_cast<int>(std::size(kPages))) return;
  QFile file(kPages[row].resource);
  if (!file.open(QIODevice::ReadOnly)) {
    browser_->setPlainText(QString("This page is missing from the app (%1).").arg(kPages[row].resource));
    return;
  }
  browser_->setMarkdown(QString::fromUtf8(file.readAll()));
  // Commands on a shaded band, readable in light and dark themes alike, and room above headings.
  QColor shade = palette().color(QPalette::Text);
  shade.setAlpha(28);
  for (QTextBlock block = browser_->document()->begin(); block.isValid(); block = block.next()) {
    QTextBlockFormat format = block.blockFormat();
    if (format.nonBreakableLines()) {
      format.setBackground(shade);
      format.setLeftMargin(0);
    } else if (format.headingLevel() > 1) {
      format.setTopMargin(14);
    } else {
      continue;
    }
    QTextCursor(block).setBlockFormat(format);
  }
}

}  // namespace qs

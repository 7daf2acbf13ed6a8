// The help guide: a list of pages (projects, databases, .test names, mail, publishing, the
// command line) and the selected page, from the app's resources.
#pragma once

#include <QDialog>

class QListWidget;
class QTextBrowser;

namespace qs {

class QSHelpWindow : public QDialog {
  Q_OBJECT
public:
  explicit QSHelpWindow(QWidget* parent = nullptr);

  QListWidget* pageList() const { return pages_; }
  QTextBrowser* browser() const { return browser_; }
  // Shows the page whose title is `title`; false when there is none.
  bool showPage(const QString& title);

private:
  void showRow(int row);

  QListWidget* pages_;
  QTextBrowser* browser_;
};

}  // namespace qs

// Files handed to the app (on its command line, or by a second launch): a site document (.brp)
// becomes a new project, a folder is added as a project, or selected when it already is one.
#pragma once

#include "core/models/project.h"

#include <QObject>
#include <QStringList>

#include <deque>

namespace qs {

class QSAppViewModel;

class QSFileOpener : public QObject {
  Q_OBJECT
public:
  explicit QSFileOpener(QSAppViewModel& model, QObject* parent = nullptr);

  // Queues the paths (relative ones against the current folder) and works through them in
  // order, one at a time, once the app's services are up.
  void open(const QStringList& paths);
  bool isBusy() const { return busy_ || !queue_.empty(); }

signals:
  // A project to show: the one a folder already was, or the one just added or imported.
  void projectOpened(const QSUUID& id);
  // What is happening now ("Importing shop.brp…").
  void progress(const QString& text);
  // A path that couldn't be opened: "Couldn't import PATH: ERROR" or "Couldn't open PATH:
  // ERROR" (also written to the log, prefixed with "Quayside: ").
  void failed(const QString& text);
  // The queue is empty again.
  void idle();

private:
  void next();
  void openFolder(const QString& path);
  void importDocument(const QString& path);
  void addImported(const QString& document, const QString& folder);
  void fail(const QString& what, const QString& path, const QString& error);
  void finishOne();
  const QSProject* projectAt(const QString& path) const;

  QSAppViewModel& model_;
  std::deque<QString> queue_;
  bool busy_ = false;
};

}  // namespace qs

#include "app/shell/file_opener.h"

#include "app/shell/app_delegate.h"
#include "app/site/site_import.h"
#include "app/viewmodels/app_view_model.h"
#include "core/platform/paths.h"
#include "core/runtime/git_service.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QThread>

namespace qs {
namespace {

// The message of the new project's first commit.
constexpr const char* kInitialCommit = "Initial commit from Quayside";

std::filesystem::path comparable(const std::filesystem::path& path) {
  std::error_code ignored;
  std::filesystem::path out = std::filesystem::weakly_canonical(path, ignored);
  return out.empty() ? path.lexically_normal() : out;
}

}  // namespace

QSFileOpener::QSFileOpener(QSAppViewModel& model, QObject* parent) : QObject(parent), model_(model) {
  connect(&model_, &QSAppViewModel::startupCompleteChanged, this, &QSFileOpener::next);
}

void QSFileOpener::open(const QStringList& paths) {
  for (const QString& path : paths)
    if (!path.isEmpty()) queue_.push_back(QFileInfo(path).absoluteFilePath());
  next();
}

void QSFileOpener::next() {
  if (busy_) return;
  if (queue_.empty()) return emit idle();
  if (!model_.isStartupComplete()) return;  // picked up when the services are ready
  QString path = queue_.front();
  queue_.pop_front();
  busy_ = true;
  if (QFileInfo(path).suffix().compare("brp", Qt::CaseInsensitive) == 0)
    importDocument(path);
  else
    openFolder(path);
}

const QSProject* QSFileOpener::projectAt(const QString& path) const {
  std::filesystem::path wanted = comparable(path.toStdString());
  for (const QSProject& p : model_.projects())
    if (comparable(p.path) == wanted) return &p;
  return nullptr;
}

void QSFileOpener::openFolder(const QString& path) {
  if (const QSProject* known = projectAt(path)) {
    emit projectOpened(known->id);
    return finishOne();
  }
  emit progress("Adding " + path + "…");
  QPointer<QSFileOpener> self(this);
  model_.addProject(path, [self, path](const QString& error) {
    if (!self) return;
    if (!error.isEmpty()) return self->fail("open", path, error);
    if (const QSProject* added = self->projectAt(path)) emit self->projectOpened(added->id);
    self->finishOne();
  });
}

void QSFileOpener::importDocument(const QString& path) {
  emit progress("Importing " + QFileInfo(path).fileName() + "…");
  QSSiteImportRequest request{.document = path.toStdString(), .projectsFolder = QSPaths::projectsFolder()};
  for (const QSProject& p : model_.projects()) request.existingProjectNames.push_back(p.name);
  QPointer<QSFileOpener> self(this);
  // Decoding, writing the files and the first commit take a moment: off the GUI thread.
  QThread* worker = QThread::create([self, request, path] {
    QString folder, error;
    try {
      QSSiteImportResult imported = importSiteDocument(request);
      QSGitService::initializeRepository(imported.folder, kInitialCommit);
      folder = QString::fromStdString(imported.folder.string());
    } catch (const std::exception& e) {
      error = QString::fromUtf8(e.what());
    }
    QMetaObject::invokeMethod(self.data(), [self, path, folder, error] {
      if (!self) return;
      if (!error.isEmpty()) return self->fail("import", path, error);
      self->addImported(path, folder);
    }, Qt::QueuedConnection);
  });
  connect(worker, &QThread::finished, worker, &QObject::deleteLater);
  worker->start();
}

void QSFileOpener::addImported(const QString& document, const QString& folder) {
  QPointer<QSFileOpener> self(this);
  model_.addProject(folder, [self, document, folder](const QString& error) {
    if (!self) return;
    if (!error.isEmpty()) return self->fail("import", document, error);
    if (const QSProject* added = self->projectAt(folder)) emit self->projectOpened(added->id);
    self->finishOne();
  });
}

void QSFileOpener::fail(const QString& what, const QString& path, const QString& error) {
  QString text = QString("Couldn't %1 %2: %3").arg(what, path, error);
  QSAppDelegate::log(QString("Quayside: couldn't %1 %2: %3").arg(what, path, error));
  emit failed(text);
  finishOne();
}

void QSFileOpener::finishOne() {
  busy_ = false;
  next();
}

}  // namespace qs

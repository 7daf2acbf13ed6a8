#include "app/viewmodels/package_updater.h"

#include <QProcess>
#include <QTimer>
#include <QUrl>

namespace qs {

QSViewModelClock QSViewModelClock::system() {
  return {.now = [] { return QSTime::now(); },
          .after = [](std::chrono::milliseconds delay, QObject* context, std::function<void()> work) {
            QTimer::singleShot(delay, context, std::move(work));
          }};
}

QSPackageUpdater::QSPackageUpdater(QSViewModelClock clock, QObject* parent) : QObject(parent), clock_(std::move(clock)) {}

QSPackageUpdater::~QSPackageUpdater() {
  if (!process_) return;
  process_->disconnect(this);
  process_->kill();
  process_->waitForFinished(2000);
}

QString QSPackageUpdater::prettify(const QString& line) {
  QString trimmed = line.trimmed();
  qsizetype space = trimmed.indexOf(' ');
  if (space < 0) return trimmed;
  QString head = trimmed.left(space);
  QString rest = trimmed.mid(space + 1).trimmed();
  QUrl url(rest, QUrl::StrictMode);
  if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty()) return trimmed;
  QString name = url.fileName();
  if (name.endsWith(".git")) name.chop(4);
  return name.isEmpty() ? trimmed : head + " " + name;
}

void QSPackageUpdater::updatePackages(const std::filesystem::path& swift, const std::filesystem::path& folder) {
  if (process_) return;
  error_.reset();
  success_.reset();
  status_.reset();
  cancelled_ = false;
  sawUpToDate_ = false;
  pending_.clear();
  startedAt_ = QDateTime::currentDateTime();
  process_ = new QProcess(this);
  process_->setProcessChannelMode(QProcess::MergedChannels);
  process_->setWorkingDirectory(QString::fromStdString(folder.string()));
  connect(process_, &QProcess::readyRead, this, &QSPackageUpdater::readOutput);
  connect(process_, &QProcess::finished, this,
          [this](int code, QProcess::ExitStatus status) { finished(code, status == QProcess::CrashExit); });
  connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
    if (e == QProcess::FailedToStart) finished(-1, false);
  });
  process_->start(QString::fromStdString(swift.string()), {"package", "update"});
  emit changed();
}

void QSPackageUpdater::cancelPackageUpdate() {
  if (!process_) return;
  cancelled_ = true;
  process_->terminate();
  emit changed();
}

void QSPackageUpdater::readOutput() {
  pending_ += QString::fromUtf8(process_->readAll());
  qsizetype end;
  bool any = false;
  while ((end = pending_.indexOf('\n')) >= 0) {
    QString line = pending_.left(end);
    pending_.remove(0, end + 1);
    if (line.contains("already up-to-date")) sawUpToDate_ = true;
    if (!line.trimmed().isEmpty()) status_ = prettify(line), any = true;
  }
  if (any) emit changed();
}

void QSPackageUpdater::finished(int exitCode, bool crashed) {
  if (!process_) return;
  readOutput();
  process_->deleteLater();
  process_ = nullptr;
  if (cancelled_) {
    emit changed();
    return;
  }
  if (exitCode == 0 && !crashed) {
    success_ = sawUpToDate_ ? "Packages already up to date" : "Packages updated";
    int generation = ++successGeneration_;
    clock_.after(successShownFor, this, [this, generation] {
      if (generation != successGeneration_ || !success_) return;
      success_.reset();
      emit changed();
    });
  } else {
    error_ = QString("swift package update failed (exit %1)").arg(exitCode);
  }
  emit changed();
}

}  // namespace qs

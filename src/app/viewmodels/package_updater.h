// `swift package update` for one project, with the progress the Overview tab shows.
#pragma once

#include "app/viewmodels/view_model_clock.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <filesystem>
#include <optional>

class QProcess;

namespace qs {

class QSPackageUpdater : public QObject {
  Q_OBJECT
public:
  // How long "Packages updated" stays.
  static constexpr std::chrono::milliseconds successShownFor{4000};

  explicit QSPackageUpdater(QSViewModelClock clock, QObject* parent = nullptr);
  ~QSPackageUpdater() override;

  // Runs `swift package update` in `folder`; nothing when an update is already running.
  void updatePackages(const std::filesystem::path& swift, const std::filesystem::path& folder);
  // Stops a running update; it then reports neither success nor error.
  void cancelPackageUpdate();

  bool isUpdatingPackages() const { return process_ != nullptr; }
  std::optional<QString> packageUpdateError() const { return error_; }
  std::optional<QString> packageUpdateStatus() const { return status_; }
  std::optional<QString> packageUpdateSuccess() const { return success_; }
  std::optional<QDateTime> packageUpdateStartedAt() const { return startedAt_; }
  bool packageUpdateCancelled() const { return cancelled_; }

  // A line of SwiftPM's output as the status line shows it: split at the first space; when the
  // rest is a URL, it becomes the URL's last path component without ".git"
  // ("Fetching https://github.com/vapor/vapor.git" → "Fetching vapor").
  static QString prettify(const QString& line);

signals:
  void changed();

private:
  void readOutput();
  void finished(int exitCode, bool crashed);

  QSViewModelClock clock_;
  QProcess* process_ = nullptr;
  QString pending_;  // a line not yet ended
  bool sawUpToDate_ = false;
  bool cancelled_ = false;
  std::optional<QString> error_;
  std::optional<QString> status_;
  std::optional<QString> success_;
  std::optional<QDateTime> startedAt_;
  int successGeneration_ = 0;  // a newer success text outlives the older one's timer
};

}  // namespace qs

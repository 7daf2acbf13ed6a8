#include "app/viewmodels/server_view_model.h"

#include "app/viewmodels/package_updater.h"
#include "core/runtime/console_transition.h"

#include <algorithm>

namespace qs {
namespace {

namespace fs = std::filesystem;

bool isIdle(QSServerStatus status) { return status == QSServerStatus::stopped || status == QSServerStatus::error; }

std::optional<fs::file_time_type> modified(const fs::path& path) {
  std::error_code error;
  auto time = fs::last_write_time(path, error);
  if (error) return std::nullopt;
  return time;
}

}  // namespace

QSServerViewModel::QSServerViewModel(QSUUID projectID, QSViewModelClock clock, QObject* parent)
    : QObject(parent), projectID_(projectID), clock_(std::move(clock)), packages_(new QSPackageUpdater(clock_, this)) {
  server_.id = projectID;
}

void QSServerViewModel::setServer(const QSServer& server) {
  if (server == server_) return;
  bool starting = isIdle(server_.status) && !isIdle(server.status) && server.status != QSServerStatus::stopping;
  server_ = server;
  if (starting) {
    setBuildProgress("");
    isResolvingDependencies_ = false;
    markColdBuild();
  }
  if (server_.status == QSServerStatus::running || isIdle(server_.status)) {
    isColdBuild_ = false;
    isResolvingDependencies_ = false;
    setBuildProgress("");
  }
  emit serverChanged();
}

// A build is cold when the package was never built here (no .build folder) or its manifest or
// resolved versions changed after the last build.
void QSServerViewModel::markColdBuild() {
  isColdBuild_ = false;
  if (folder_.empty()) return;
  auto built = modified(folder_ / ".build");
  if (!built) {
    isColdBuild_ = coldBecauseFirst_ = true;
    return;
  }
  for (const char* file : {"Package.swift", "Package.resolved"}) {
    auto changed = modified(folder_ / file);
    if (changed && *changed > *built) {
      isColdBuild_ = true;
      coldBecauseFirst_ = false;
      return;
    }
  }
}

QString QSServerViewModel::coldBuildText() const {
  if (!isColdBuild_ || isIdle(server_.status) || server_.status == QSServerStatus::running) return {};
  return coldBecauseFirst_ ? firstBuildText : dependenciesChangedText;
}

void QSServerViewModel::ingestConsoleLine(std::string_view line) {
  appendConsole(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
  if (server_.status != QSServerStatus::stopped && server_.status != QSServerStatus::error) {
    QSServerConsoleState state{server_.status, server_.startedAt, buildProgress_.toStdString(),
                               isResolvingDependencies_};
    detectStateTransition(state, line, clock_.now());
    isResolvingDependencies_ = state.isResolvingDependencies;
    setBuildProgress(QString::fromStdString(state.buildProgress));
    if (state.status != server_.status || state.startedAt != server_.startedAt) {
      server_.status = state.status;
      server_.startedAt = state.startedAt;
      if (state.status == QSServerStatus::running) isColdBuild_ = false;
      emit serverChanged();
    }
  }
  std::optional<QSLogEntry> entry = parser_.parse(line, projectID_);
  if (!entry) return;
  // The line's time is when it arrived here, on the same clock the proxy's entries are matched by.
  QSTimestamp now = clock_.now();
  entry->timestamp = now;
  if (merger_.addConsoleEntry(std::move(*entry), now)) emit logsChanged();
}

void QSServerViewModel::recordProxyEntry(const QSLogEntry& entry) {
  merger_.addProxyEntry(entry, clock_.now());
  emit logsChanged();
}

void QSServerViewModel::daemonDisconnected() {
  if (isIdle(server_.status)) return;
  server_.status = QSServerStatus::stopped;
  server_.pid.reset();
  isColdBuild_ = false;
  setBuildProgress("");
  appendConsole(daemonStoppedLine);
  emit serverChanged();
}

void QSServerViewModel::restoreHistory(const std::vector<std::string>& lines, std::uint64_t receivedBefore,
                                       const std::vector<QSLogEntry>& requests) {
  if (!lines.empty()) {
    std::size_t since = static_cast<std::size_t>(std::min<std::uint64_t>(linesReceived_ - receivedBefore, console_.size()));
    std::deque<QString> history;
    for (const auto& line : lines) history.push_back(QString::fromStdString(line));
    // Lines printed after the history was read arrive as events; those printed between the
    // subscription and the read arrive both ways: the longest run that ends the history and
    // starts the new lines.
    auto fresh = console_.end() - static_cast<std::ptrdiff_t>(since);
    std::size_t overlap = std::min(since, history.size());
    while (overlap > 0 && !std::equal(history.end() - static_cast<std::ptrdiff_t>(overlap), history.end(), fresh))
      --overlap;
    std::deque<QString> restored(console_.begin(), fresh);
    restored.insert(restored.end(), history.begin(), history.end());
    restored.insert(restored.end(), fresh + static_cast<std::ptrdiff_t>(overlap), console_.end());
    while (restored.size() > maxConsoleLines) restored.pop_front();
    console_ = std::move(restored);
    emit consoleRestored();
  }
  std::vector<QSLogEntry> older;
  for (const auto& entry : requests)
    if (std::none_of(merger_.entries().begin(), merger_.entries().end(),
                     [&](const QSLogEntry& held) { return held.id == entry.id; }))
      older.push_back(entry);
  if (older.empty()) return;
  merger_.prepend(older);
  emit logsChanged();
}

void QSServerViewModel::clearRequestLog() {
  merger_.clear();
  emit logsChanged();
}

void QSServerViewModel::appendConsole(QString line) {
  console_.push_back(std::move(line));
  if (console_.size() > maxConsoleLines) console_.pop_front();
  ++linesReceived_;
  emit consoleChanged();
}

void QSServerViewModel::setBuildProgress(const QString& text) {
  if (text == buildProgress_) return;
  buildProgress_ = text;
  emit buildProgressChanged();
}

}  // namespace qs

// What a project's detail view shows about its server: the server record, the console, the
// request log, the build phase and the package update.
#pragma once

#include "app/viewmodels/view_model_clock.h"
#include "core/models/server.h"
#include "core/runtime/log_parser.h"
#include "core/runtime/request_log_merge.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

class QSPackageUpdater;

class QSServerViewModel : public QObject {
  Q_OBJECT
public:
  // The console keeps this many lines, as the engine does.
  static constexpr std::size_t maxConsoleLines = 500;
  // The request log keeps this many entries, dropping the oldest (the Logs tab shows them all).
  static constexpr std::size_t requestLogCapacity = 5000;
  static constexpr const char* daemonStoppedLine = "[Quayside daemon stopped — server is no longer running]";
  static constexpr const char* firstBuildText =
      "First build — fetching dependencies and compiling from scratch. This can take a few minutes; later builds "
      "are much faster.";
  static constexpr const char* dependenciesChangedText =
      "Dependencies changed — resolving and recompiling. This build will be slower than usual.";

  QSServerViewModel(QSUUID projectID, QSViewModelClock clock, QObject* parent = nullptr);

  const QSUUID& projectID() const { return projectID_; }
  const QSServer& server() const { return server_; }
  // Takes the record the engine reports. Leaving stopped or error for a start marks a cold
  // build when the project's folder says so (see setProjectFolder).
  void setServer(const QSServer& server);
  // The project's folder, for the cold-build check.
  void setProjectFolder(std::filesystem::path folder) { folder_ = std::move(folder); }

  // Newest last; at most maxConsoleLines.
  const std::deque<QString>& consoleOutput() const { return console_; }
  // Every line ingested since the model was made (the console keeps only the newest).
  std::uint64_t consoleLinesReceived() const { return linesReceived_; }
  const std::deque<QSLogEntry>& logs() const { return merger_.entries(); }
  const QString& buildProgress() const { return buildProgress_; }
  bool isColdBuild() const { return isColdBuild_; }
  // The cold-build text while a cold build is under way, else empty.
  QString coldBuildText() const;
  bool isResolvingDependencies() const { return isResolvingDependencies_; }
  QSPackageUpdater& packages() { return *packages_; }

  // One console line: kept, shown to the readiness logic (state, build progress), and when it
  // is a request line, merged into the request log.
  void ingestConsoleLine(std::string_view line);
  // A request the proxy logged for this project.
  void recordProxyEntry(const QSLogEntry& entry);
  // The daemon went away: a server that was neither stopped nor failed shows as stopped and the
  // console says why.
  void daemonDisconnected();
  // The engine's recent console lines and requests, read back when the view model was made or
  // the app reconnected, `receivedBefore` being consoleLinesReceived() when they were asked
  // for. They go before what arrived meanwhile: a run of new lines that the history already
  // ends with, and requests already listed, are kept once. Not shown to the readiness logic
  // (the server record is the engine's); consoleRestored() follows.
  void restoreHistory(const std::vector<std::string>& lines, std::uint64_t receivedBefore,
                      const std::vector<QSLogEntry>& requests);
  // Empties the request log (the Logs tab's Clear).
  void clearRequestLog();

signals:
  void serverChanged();
  // Lines were added to the console (views repaint once per event-loop turn, not per line).
  void consoleChanged();
  // The console was rewritten (restoreHistory): views show it afresh.
  void consoleRestored();
  void logsChanged();
  void buildProgressChanged();

private:
  void appendConsole(QString line);
  void setBuildProgress(const QString& text);
  void markColdBuild();

  QSUUID projectID_;
  QSViewModelClock clock_;
  QSServer server_;
  std::filesystem::path folder_;
  std::deque<QString> console_;
  std::uint64_t linesReceived_ = 0;
  QSRequestLogMerge merger_{requestLogCapacity};
  QSLogParser parser_;
  QString buildProgress_;
  bool isColdBuild_ = false;
  bool coldBecauseFirst_ = false;
  bool isResolvingDependencies_ = false;
  QSPackageUpdater* packages_;
};

}  // namespace qs

// The record of each project's server and its last console lines, as the supervisor keeps them:
// every change of a record is published (serverChanged), every console line too (logLine), and
// the readiness line moves a building server to `running`. Run-time knowledge only: nothing here
// is saved.
//
// Lives on the service loop; the supervisor owns it and shares it with the parts that report a
// server's console and exit.
#pragma once

#include "core/models/project.h"
#include "core/models/server.h"
#include "core/protocol/event.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qs {

class QSServerRecords {
public:
  static constexpr int maxLogLines = 500;

  struct Hooks {
    // The engine's current record of a project; null once it has been removed.
    std::function<const QSProject*(const QSUUID&)> findProject;
    // Publishes serverChanged and logLine events.
    std::function<void(QSEvent)> emit;
  };

  explicit QSServerRecords(Hooks hooks);

  // Keeps the record and publishes it.
  void update(QSServer server);
  // Keeps one console line (the last maxLogLines of them) and publishes it; the readiness line
  // of a building server records it `running`.
  void appendLog(const QSUUID& projectID, std::string line);
  // Empties the console: a new start begins with its own lines.
  void clearLog(const QSUUID& projectID);
  // Sets or clears what the server does beside serving (and, given one, its error); published
  // only when the record changes. A project without a record is left alone.
  void setActivity(const QSUUID& projectID, std::optional<std::string> activity, std::optional<std::string> error);
  // The server's process ended with `status` (a wait status): its exit line, and `stopped` or
  // `error`. Nothing when it was not building or running.
  void recordExit(const QSUUID& projectID, std::int32_t status);
  // Forgets the record and console of a removed project.
  void forget(const QSUUID& projectID);

  QSServer status(const QSUUID& projectID) const;
  std::vector<QSServer> servers() const;
  // The last `count` console lines, oldest first (at most maxLogLines).
  std::vector<std::string> logLines(const QSUUID& projectID, int count) const;
  // Building or running.
  bool isActive(const QSUUID& projectID) const;

private:
  Hooks hooks_;
  std::map<QSUUID, QSServer> servers_;
  std::map<QSUUID, std::deque<std::string>> logBuffers_;
};

}  // namespace qs

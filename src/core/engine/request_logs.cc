#include "core/engine/request_logs.h"

#include "core/runtime/log_parser.h"

#include <algorithm>

namespace qs {

QSRequestLogs::QSRequestLogs(QSEngineState& state) : state_(state) {}

QSRequestLogMerge& QSRequestLogs::requestLog(const QSUUID& projectID) {
  return requestLogs_.try_emplace(projectID, maxRequestLogEntries).first->second;
}

void QSRequestLogs::recordRequest(QSLogEntry entry) {
  requestLog(entry.projectID).addProxyEntry(entry, QSTime::now());
  state_.emit(evt::RequestLogged{std::move(entry)});
}

void QSRequestLogs::recordConsoleRequest(const evt::LogLine& line) {
  const auto* server = line.source.get<svc::Server>();
  if (!server || !state_.project(server->id)) return;
  auto entry = QSLogParser().parse(line.line, server->id);
  if (entry && requestLog(server->id).addConsoleEntry(*entry, QSTime::now()))
    state_.emit(evt::RequestLogged{std::move(*entry)});
}

std::vector<QSLogEntry> QSRequestLogs::entries(const QSUUID& projectID, int count) const {
  std::vector<QSLogEntry> entries;
  auto found = requestLogs_.find(projectID);
  if (found != requestLogs_.end()) {
    const auto& log = found->second.entries();
    std::size_t wanted = static_cast<std::size_t>(std::max(count, 0));
    std::size_t skip = log.size() > wanted ? log.size() - wanted : 0;
    entries.assign(log.begin() + static_cast<std::ptrdiff_t>(skip), log.end());
  }
  return entries;
}

void QSRequestLogs::forget(const QSUUID& projectID) { requestLogs_.erase(projectID); }

}  // namespace qs

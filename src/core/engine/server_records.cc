#include "core/engine/server_records.h"

#include "core/runtime/server_readiness.h"

#include <algorithm>

namespace qs {
namespace {

// The port recorded for a server whose project has gone.
constexpr int kFallbackPort = 8080;

}  // namespace

QSServerRecords::QSServerRecords(Hooks hooks) : hooks_(std::move(hooks)) {}

void QSServerRecords::update(QSServer server) {
  servers_[server.id] = server;
  hooks_.emit(evt::ServerChanged{std::move(server)});
}

void QSServerRecords::appendLog(const QSUUID& projectID, std::string line) {
  auto& buffer = logBuffers_[projectID];
  // A full buffer reuses its oldest entry's storage: a flooding console costs no allocation here.
  std::string kept;
  if (buffer.size() >= static_cast<std::size_t>(maxLogLines)) {
    kept = std::move(buffer.front());
    buffer.pop_front();
  }
  kept.assign(line);
  buffer.push_back(std::move(kept));
  while (buffer.size() > static_cast<std::size_t>(maxLogLines)) buffer.pop_front();
  bool readiness = QSServerReadiness::indicatesServerReady(line);
  hooks_.emit(evt::LogLine{QSServiceRef(svc::Server{projectID}), std::move(line)});
  if (!readiness) return;
  auto it = servers_.find(projectID);
  if (it == servers_.end() || it->second.status != QSServerStatus::building) return;
  QSServer ready = it->second;
  ready.status = QSServerStatus::running;
  ready.startedAt = QSTime::now();
  update(ready);
}

void QSServerRecords::clearLog(const QSUUID& projectID) { logBuffers_[projectID].clear(); }

void QSServerRecords::setActivity(const QSUUID& projectID, std::optional<std::string> activity,
                                  std::optional<std::string> error) {
  auto it = servers_.find(projectID);
  if (it == servers_.end()) return;
  QSServer changed = it->second;
  changed.activity = std::move(activity);
  if (error) changed.errorMessage = std::move(error);
  if (changed != it->second) update(changed);
}

void QSServerRecords::recordExit(const QSUUID& projectID, std::int32_t status) {
  auto it = servers_.find(projectID);
  if (it == servers_.end() || !isActive(projectID)) return;
  const QSProject* p = hooks_.findProject(projectID);
  int port = p ? p->port : it->second.port;
  auto outcome = QSServerExit::outcome(status);
  appendLog(projectID, outcome.logLine);
  update(QSServer{projectID, outcome.status, port, std::nullopt, std::nullopt, outcome.errorMessage});
}

void QSServerRecords::forget(const QSUUID& projectID) {
  servers_.erase(projectID);
  logBuffers_.erase(projectID);
}

QSServer QSServerRecords::status(const QSUUID& projectID) const {
  if (auto it = servers_.find(projectID); it != servers_.end()) return it->second;
  QSServer stopped{projectID, QSServerStatus::stopped, kFallbackPort, std::nullopt, std::nullopt, std::nullopt};
  if (const QSProject* p = hooks_.findProject(projectID)) stopped.port = p->port;
  return stopped;
}

std::vector<QSServer> QSServerRecords::servers() const {
  std::vector<QSServer> all;
  for (const auto& [id, server] : servers_) all.push_back(server);
  return all;
}

std::vector<std::string> QSServerRecords::logLines(const QSUUID& projectID, int count) const {
  auto it = logBuffers_.find(projectID);
  if (it == logBuffers_.end() || count <= 0) return {};
  const auto& buffer = it->second;
  std::size_t take = std::min(buffer.size(), static_cast<std::size_t>(count));
  return std::vector<std::string>(buffer.end() - static_cast<std::ptrdiff_t>(take), buffer.end());
}

bool QSServerRecords::isActive(const QSUUID& projectID) const {
  auto it = servers_.find(projectID);
  return it != servers_.end() &&
         (it->second.status == QSServerStatus::building || it->second.status == QSServerStatus::running);
}

}  // namespace qs

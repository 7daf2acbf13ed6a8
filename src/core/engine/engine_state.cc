#include "core/engine/engine_state.h"

#include "core/protocol/daemon_error.h"

#include <algorithm>
#include <cstdio>

namespace qs {

QSEngineState::QSEngineState(asio::any_io_executor executor, QSPersistenceService persistence,
                             std::optional<QSProjectConfiguration> configuration,
                             std::function<void(const std::string&)> log)
    : executor(executor), persistence(std::move(persistence)), events(executor), log_(std::move(log)) {
  if (configuration)
    config = std::move(*configuration);
  else
    config = this->persistence.loadForOwner("", [this](const std::string& line) {
      this->log(logPrefix + line);
      stateLoadWarning = line;
    });
  // Whether an engine runs is known only by asking it (bootstrap does): a status saved by an
  // earlier daemon says nothing about now.
  if (!configuration)
    for (auto& db : config.databases)
      if (db.status == QSDatabaseStatus::running) db.status = QSDatabaseStatus::stopped;
}

QSProject* QSEngineState::project(const QSUUID& id) {
  auto it = std::find_if(config.projects.begin(), config.projects.end(), [&](const QSProject& p) { return p.id == id; });
  return it == config.projects.end() ? nullptr : &*it;
}

QSProject& QSEngineState::requireProject(const QSUUID& id) {
  if (auto* p = project(id)) return *p;
  throw QSDaemonException(QSDaemonError(daemonError::ProjectNotFound{id.string()}));
}

void QSEngineState::log(const std::string& line) const {
  if (log_)
    log_(line);
  else
    std::fprintf(stderr, "%s\n", line.c_str());
}

void QSEngineState::save() {
  try {
    persistence.save(config);
  } catch (const std::exception& e) {
    // The in-memory state stays authoritative; the next successful save writes all of it.
    log(std::string(logPrefix) + "couldn't save config.json: " + e.what());
  }
}

void QSEngineState::emit(QSEvent event) { events.push(std::move(event)); }

void QSEngineState::emitProjectsChanged() { emit(evt::ProjectsChanged{config.projects}); }

}  // namespace qs

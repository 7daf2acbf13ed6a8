// The engine's edits of a project's environment variables, each written through to its .env.
#include "core/engine/daemon_service.h"

#include "core/models/dotenv.h"
#include "core/models/env_file_writer.h"

#include <algorithm>

namespace qs {

void QSDaemonService::setEnvVar(const QSUUID& projectID, const std::string& key, const std::string& value) {
  QSProject& p = requireProject(projectID);
  // Checked before anything is stored: a bad key or a line break would corrupt the .env file.
  if (auto error = validateEnvironmentVariable(key, value))
    throw QSDaemonException(QSDaemonError(daemonError::OperationFailed{error->message()}));
  auto existing = std::find_if(p.environmentVariables.begin(), p.environmentVariables.end(),
                               [&](const QSEnvironmentVariable& v) { return v.key == key; });
  if (existing != p.environmentVariables.end()) {
    existing->value = value;
  } else {
    QSEnvironmentVariable variable;
    variable.key = key;
    variable.value = value;
    p.environmentVariables.push_back(std::move(variable));
  }
  writeEnvFile(p);
  save();
}

void QSDaemonService::unsetEnvVar(const QSUUID& projectID, const std::string& key) {
  QSProject& p = requireProject(projectID);
  std::erase_if(p.environmentVariables, [&](const QSEnvironmentVariable& v) { return v.key == key; });
  writeEnvFile(p);
  save();
}

void QSDaemonService::syncEnvVars(const QSDatabase& database) {
  if (!databases_) return;
  auto generated = databases_->generateEnvVars(database);
  if (generated.empty()) return;
  bool anyChanged = false;
  for (auto& p : config_.projects) {
    if (p.databaseID != database.id && p.redisID != database.id) continue;
    bool changed = false;
    for (const auto& variable : generated) {
      auto existing = std::find_if(p.environmentVariables.begin(), p.environmentVariables.end(),
                                   [&](const QSEnvironmentVariable& v) { return v.key == variable.key; });
      if (existing == p.environmentVariables.end()) {
        p.environmentVariables.push_back(variable);
        changed = true;
      } else if (existing->value != variable.value) {
        existing->value = variable.value;
        changed = true;
      }
    }
    if (changed) writeEnvFile(p);
    anyChanged = anyChanged || changed;
  }
  if (anyChanged) {
    save();
    emitProjectsChanged();
  }
}

}  // namespace qs

// The engine's edits of a project's environment variables, each written through to its .env.
#include "core/engine/environment_operations.h"

#include "core/models/env_file_writer.h"
#include "core/platform/encoding.h"
#include "core/platform/utf8.h"
#include "core/protocol/daemon_error.h"

#include <algorithm>

namespace qs {
namespace {

[[noreturn]] void fail(const QSEnvVariableError& error) {
  throw QSDaemonException(QSDaemonError(daemonError::OperationFailed{error.message()}));
}

// The variable a new value for `key` goes to: the enabled one when there is one (a commented-out
// line of the same key is often a template or an old value), else the first of that key.
std::vector<QSEnvironmentVariable>::iterator variableToSet(std::vector<QSEnvironmentVariable>& variables,
                                                           const std::string& key) {
  auto sameKey = [&](const QSEnvironmentVariable& v) { return v.key == key; };
  auto enabled = std::find_if(variables.begin(), variables.end(),
                              [&](const QSEnvironmentVariable& v) { return sameKey(v) && v.isEnabled; });
  return enabled != variables.end() ? enabled : std::find_if(variables.begin(), variables.end(), sameKey);
}

}  // namespace

QSEnvironmentOperations::QSEnvironmentOperations(QSEngineState& state, std::shared_ptr<QSDatabaseServicing> databases)
    : state_(state), databases_(std::move(databases)) {}

void QSEnvironmentOperations::writeEnvFile(const QSProject& p) {
  QSEnvFileWriter::write(p.environmentVariables, p.path, 3);
}

void QSEnvironmentOperations::adoptHandAddedVariables(QSProject& p) {
  auto added = QSEnvFileWriter::handAddedVariables(p.environmentVariables, p.path);
  if (added.empty()) return;
  // What the record cannot hold (unchanged, or at all) is not taken, and the file is then not
  // written over: the user learns of it instead of losing what they typed.
  auto refuse = [&](const QSEnvVariableError& error) {
    throw QSDaemonException(QSDaemonError(daemonError::OperationFailed{
        "The .env of " + p.name + " was edited by hand, and Quayside cannot keep what was added: " +
        error.message()}));
  };
  auto variables = p.environmentVariables;
  for (auto& variable : added) {
    if (auto error = validateEnvironmentVariable(variable.key, variable.value)) refuse(*error);
    if (!isValidUTF8(variable.comment.value_or("")))
      refuse({QSEnvVariableError::Kind::valueNotText, variable.key});
    variables.push_back(std::move(variable));
  }
  if (auto error = variablesFitError(p, variables)) refuse(*error);
  p.environmentVariables = std::move(variables);
}

std::optional<QSEnvVariableError> QSEnvironmentOperations::variablesFitError(
    const QSProject& p, const std::vector<QSEnvironmentVariable>& after) const {
  std::size_t others = 0;
  for (const auto& other : state_.config.projects)
    if (other.id != p.id) others += encodedSize(other.environmentVariables);
  return variablesSizeError(p.environmentVariables, after, others);
}

void QSEnvironmentOperations::setEnvVar(const QSUUID& projectID, const std::string& key, const std::string& value) {
  QSProject& p = state_.requireProject(projectID);
  // Checked before anything is stored: a bad key or a line break would corrupt the .env file.
  if (auto error = validateEnvironmentVariable(key, value)) fail(*error);
  adoptHandAddedVariables(p);
  auto variables = p.environmentVariables;
  auto existing = variableToSet(variables, key);
  if (existing != variables.end()) {
    existing->value = value;
    existing->isEnabled = true;  // setting a variable means the server is to get it
  } else {
    QSEnvironmentVariable variable;
    variable.key = key;
    variable.value = value;
    variables.push_back(std::move(variable));
  }
  if (auto error = variablesFitError(p, variables)) fail(*error);
  p.environmentVariables = std::move(variables);
  writeEnvFile(p);
  state_.save();
  // Every window that shows the project (the desktop app, a second copy of it) follows.
  state_.emitProjectsChanged();
}

void QSEnvironmentOperations::unsetEnvVar(const QSUUID& projectID, const std::string& key) {
  QSProject& p = state_.requireProject(projectID);
  adoptHandAddedVariables(p);
  std::erase_if(p.environmentVariables, [&](const QSEnvironmentVariable& v) { return v.key == key; });
  writeEnvFile(p);
  state_.save();
  state_.emitProjectsChanged();
}

void QSEnvironmentOperations::syncEnvVars(const QSDatabase& database) {
  if (!databases_) return;
  auto generated = databases_->generateEnvVars(database);
  if (generated.empty()) return;
  bool anyChanged = false;
  for (auto& p : state_.config.projects) {
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
    if (changed) {
      try {
        adoptHandAddedVariables(p);
        writeEnvFile(p);
      } catch (const QSDaemonException& e) {
        state_.log(std::string(QSEngineState::logPrefix) + "didn't write the .env of " + p.name + ": " + e.error().message());
      }
    }
    anyChanged = anyChanged || changed;
  }
  if (anyChanged) {
    state_.save();
    state_.emitProjectsChanged();
  }
}

}  // namespace qs

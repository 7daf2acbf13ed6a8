// A project's environment variables as the engine edits them: each edit checked, kept in the
// project's record and written through to its .env; the connection variables of a linked
// database kept current; keys typed into the .env by hand taken into the record first.
#pragma once

#include "core/engine/engine_services.h"
#include "core/engine/engine_state.h"
#include "core/models/dotenv.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qs {

class QSEnvironmentOperations {
public:
  // `databases` (absent in a build without them) gives a linked database's connection variables.
  QSEnvironmentOperations(QSEngineState& state, std::shared_ptr<QSDatabaseServicing> databases);

  void setEnvVar(const QSUUID& projectID, const std::string& key, const std::string& value);
  void unsetEnvVar(const QSUUID& projectID, const std::string& key);
  // The connection variables of `database` brought up to date in every project linked to it.
  void syncEnvVars(const QSDatabase& database);
  // Keys typed into the project's .env by hand become the record's before it is written over.
  void adoptHandAddedVariables(QSProject& project);
  // Why `after` would make the project's (or all projects') variables too large; nothing when it fits.
  std::optional<QSEnvVariableError> variablesFitError(const QSProject& project,
                                                      const std::vector<QSEnvironmentVariable>& after) const;
  void writeEnvFile(const QSProject& project);

private:
  QSEngineState& state_;
  std::shared_ptr<QSDatabaseServicing> databases_;
};

}  // namespace qs

// SQLite: no server, each database a plain file, sqlite/NAME.sqlite under the data folder
// (mode 0600 in a 0700 folder), open to whoever can read it, so it has no accounts either.
#pragma once

#include "core/databases/database_engine.h"

namespace qs {

class QSSQLiteEngine : public QSDatabaseEngine {
public:
  using QSDatabaseEngine::QSDatabaseEngine;

  QSDatabaseType type() const override { return QSDatabaseType::sqlite; }
  bool runsServer() const override { return false; }
  bool hasAccounts() const override { return false; }

  bool isInitialized() const override { return true; }
  void initialize() override {}
  void start(int) override {}
  void stop() override {}
  QSDatabaseStatus status() override { return QSDatabaseStatus::stopped; }
  bool isServerProcess(const std::string&) const override { return false; }

  // Makes an empty file; an existing file keeps its contents.
  void createDatabase(const std::string& name, int port, const std::optional<std::string>& username,
                      const std::optional<std::string>& password) override;
  // Deletes the file.
  void dropDatabase(const std::string& name) override;
  bool databaseExists(const std::string& name) override;
  bool adopt(QSDatabase& record, const std::string& projectName) override;
  // DATABASE_URL: the file Quayside made, wherever the server runs from.
  std::vector<QSEnvironmentVariable> environment(const QSDatabase& database) const override;

  std::string clientName() const override { return "sqlite3"; }
  // The file, in `sqliteFolder`.
  std::vector<std::string> clientArguments(const QSDatabase& database,
                                           const std::filesystem::path& sqliteFolder) const override;
};

// dataRoot/sqlite/NAME.sqlite; throws databaseCreationFailed for a name that is not a plain
// file name ("", ".", "..", or holding "/" or a NUL).
std::filesystem::path sqliteFile(const std::filesystem::path& dataRoot, const std::string& name);

}  // namespace qs

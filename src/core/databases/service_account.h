// The engines' service account `quayside`, through which Quayside administers every cluster,
// and what keeps it Quayside's own: one random password per engine, made with the cluster and
// kept (mode 0600) in the engine's private folder under the data folder. Quayside's own tools
// sign in through the engine's Unix socket in that folder (PostgreSQL without a password, since
// only the owner can reach the socket; MySQL with the password); over TCP, which every local
// user can reach, every account needs its password.
#pragma once

#include "core/models/database_type.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

class QSServiceAccount {
public:
  static constexpr std::string_view name = "quayside";

  explicit QSServiceAccount(std::filesystem::path dataRoot) : dataRoot_(std::move(dataRoot)) {}

  // dataRoot/postgresql, dataRoot/mysql, dataRoot/redis (SQLite: dataRoot/sqlite).
  std::filesystem::path folder(QSDatabaseType type) const;
  // The engine's service password; nothing before the engine has one.
  std::optional<std::string> password(QSDatabaseType type) const;
  // The engine's service password, made (and its folder, mode 0700) when it has none yet.
  std::string ensurePassword(QSDatabaseType type) const;
  std::filesystem::path passwordFile(QSDatabaseType type) const { return folder(type) / ".service-password"; }

  // Whether the engine's cluster already demands the password (set on new clusters, and on
  // clusters from before passwords once migrated); markSecured records that it does.
  bool isSecured(QSDatabaseType type) const;
  void markSecured(QSDatabaseType type) const;

  // psql arguments (after the program) that sign in as the service account to `database` of the
  // cluster on `port`, through the socket in the private postgresql folder.
  std::vector<std::string> postgresArguments(int port, const std::string& database) const;
  // mysql / mysqladmin arguments (after --no-defaults) that sign in as the service account
  // through the server's socket; the password goes in mysqlEnvironment(), never an argument.
  std::vector<std::string> mysqlArguments() const;
  std::map<std::string, std::string> mysqlEnvironment() const;
  std::filesystem::path mysqlSocket() const { return folder(QSDatabaseType::mysql) / "mysql.sock"; }

  // Whether `user` names the service account (an absent user is the service account).
  static bool isServiceAccount(const std::optional<std::string>& user) { return !user || *user == name; }

private:
  std::filesystem::path dataRoot_;
};

// Whether the engine keeps a database of that name for itself, in any letter case (MySQL: mysql,
// information_schema, performance_schema, sys; PostgreSQL: postgres, template0, template1).
bool isReservedDatabaseName(QSDatabaseType type, std::string_view name);
// What the user is told when choosing such a name.
std::string reservedDatabaseNameMessage(QSDatabaseType type, std::string_view name);

// 32 random letters and digits (about 190 bits): a password for an engine account, plain in
// URLs and .env files.
std::string randomPassword();

}  // namespace qs

#include "core/models/database.h"

#include "core/platform/encoding.h"

namespace qs {
namespace {

// The one routine behind both connection strings.
std::string connectionURL(const QSDatabase& db, bool maskPassword) {
  const std::string& database = db.effectiveDatabaseName();
  std::string userPart;
  if (db.type == QSDatabaseType::postgresql || db.type == QSDatabaseType::mysql) {
    userPart = db.username ? *db.username : (db.type == QSDatabaseType::postgresql ? "postgres" : "root");
    if (db.password && !db.password->empty())
      userPart += maskPassword ? ":\u2022\u2022\u2022\u2022\u2022\u2022" : ":" + percentEncode(*db.password);
  }
  std::string hostPort = db.host + ":" + std::to_string(db.port);
  switch (db.type) {
    case QSDatabaseType::postgresql: return "postgresql://" + userPart + "@" + hostPort + "/" + database;
    case QSDatabaseType::mysql: return "mysql://" + userPart + "@" + hostPort + "/" + database;
    case QSDatabaseType::sqlite: return "sqlite://" + database + ".sqlite";
    case QSDatabaseType::redis: return "redis://" + hostPort;
  }
  return {};
}

}  // namespace

QSDatabase QSDatabase::make(std::string name, QSDatabaseType type, std::optional<int> port) {
  QSDatabase db;
  db.name = std::move(name);
  db.type = type;
  db.port = port.value_or(defaultPort(type));
  return db;
}

std::string QSDatabase::connectionString() const { return connectionURL(*this, false); }
std::string QSDatabase::displayConnectionString() const { return connectionURL(*this, true); }

}  // namespace qs

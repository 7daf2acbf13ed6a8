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

void encodeJson(json& out, const QSDatabase& v, const QSCoder& coder) {
  QSObjectWriter(out, coder)
      .field("id", v.id)
      .field("name", v.name)
      .field("type", v.type)
      .field("port", v.port)
      .field("status", v.status)
      .field("host", v.host)
      .field("username", v.username)
      .field("password", v.password)
      .field("databaseName", v.databaseName)
      .field("errorMessage", v.errorMessage);
}

void decodeJson(const json& in, QSDatabase& v, const QSCoder& coder) {
  QSObjectReader(in, "QSDatabase", coder)
      .field("id", v.id)
      .field("name", v.name)
      .field("type", v.type)
      .field("port", v.port)
      .field("status", v.status)
      .field("host", v.host)
      .field("username", v.username)
      .field("password", v.password)
      .field("databaseName", v.databaseName)
      .field("errorMessage", v.errorMessage);
}

}  // namespace qs

#include "core/models/database.h"

#include "core/platform/encoding.h"

namespace qs {
namespace {

// A URL component as written: every byte but letters, digits and "-._~" percent-encoded, so a
// name holding "@", ":", "/", "?", "#", "%" or a space cannot be read as another part.
std::string component(std::string_view text) { return percentEncode(text, "-._~"); }

// The one routine behind both connection strings.
std::string connectionURL(const QSDatabase& db, bool maskPassword) {
  const std::string& database = db.effectiveDatabaseName();
  std::string password;
  if (db.password && !db.password->empty())
    password = maskPassword ? ":\u2022\u2022\u2022\u2022\u2022\u2022" : ":" + percentEncode(*db.password);
  std::string userPart;
  if (db.type == QSDatabaseType::postgresql || db.type == QSDatabaseType::mysql)
    userPart = component(db.username ? *db.username : (db.type == QSDatabaseType::postgresql ? "postgres" : "root")) +
               password + "@";
  else if (db.type == QSDatabaseType::redis && !password.empty())
    userPart = "default" + password + "@";  // Redis's own user, with the server's password
  std::string hostPort = db.host + ":" + std::to_string(db.port);
  switch (db.type) {
    case QSDatabaseType::postgresql: return "postgresql://" + userPart + hostPort + "/" + component(database);
    case QSDatabaseType::mysql: return "mysql://" + userPart + hostPort + "/" + component(database);
    case QSDatabaseType::sqlite: return "sqlite://" + database + ".sqlite";
    case QSDatabaseType::redis: return "redis://" + userPart + hostPort;
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

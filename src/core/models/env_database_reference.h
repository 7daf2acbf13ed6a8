// Database connections described by a project's variables, so that existing local databases
// can be adopted and linked.
#pragma once

#include "core/models/database_type.h"
#include "core/models/environment_variable.h"

#include <optional>
#include <string>
#include <vector>

namespace qs {

struct QSEnvDatabaseReference {
  QSDatabaseType type = QSDatabaseType::postgresql;
  std::string name;  // database name (SQL), file stem (SQLite), database index (Redis)
  std::string host;
  int port = 0;
  std::optional<std::string> username;
  std::optional<std::string> password;

  // Whether the host, lower-cased, is "", "localhost", "127.0.0.1", "::1" or "0.0.0.0".
  bool isLocalHost() const;

  // The references in the enabled variables (a later variable of a key wins): first the SQL
  // database of DATABASE_URL, then Redis; at most one of each.
  //
  // SQL: DATABASE_URL with scheme postgres/postgresql, mysql, or sqlite/file. For PostgreSQL
  // and MySQL, DB_HOST, DB_PORT, DB_NAME, DB_USERNAME (then DB_USER) and DB_PASSWORD win over
  // the URL's parts when set and not empty; the host defaults to "localhost" and the port to
  // the engine's. No reference is made when neither DB_NAME nor the URL's path names a
  // database: there is nothing to adopt. For SQLite the name is the file name without a
  // trailing ".sqlite"; the file may be given as the URL's host too ("sqlite://blog.sqlite",
  // the form QSDatabase writes); host "localhost", port 0. No reference without a file name.
  //
  // Redis: REDIS_URL (redis or rediss; an empty one counts as absent), overridden by
  // REDIS_HOST, REDIS_PORT and REDIS_PASSWORD; without REDIS_URL, REDIS_HOST or REDIS_PORT
  // alone make one. The name is the URL's database index, "0" when it names none; the URL's
  // user, when it names one, is the username (Redis ACL users).
  //
  // A port variable counts only when it is a plain decimal number from 1 to 65535; otherwise
  // the URL's port (or the default) is used. A URL that does not parse gives no reference.
  static std::vector<QSEnvDatabaseReference> detect(const std::vector<QSEnvironmentVariable>& variables);

  bool operator==(const QSEnvDatabaseReference&) const = default;
};

}  // namespace qs

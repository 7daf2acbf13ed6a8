#include "core/databases/sql_quoting.h"

namespace qs::sql {
namespace {

std::string doubled(std::string_view text, char quote) {
  std::string out;
  out.reserve(text.size() + 2);
  out += quote;
  for (char c : text) {
    if (c == quote) out += quote;
    out += c;
  }
  out += quote;
  return out;
}

}  // namespace

std::string postgresIdentifier(std::string_view name) { return doubled(name, '"'); }
std::string postgresLiteral(std::string_view text) { return doubled(text, '\''); }
std::string mysqlIdentifier(std::string_view name) { return doubled(name, '`'); }

std::string mysqlLiteral(std::string_view text) {
  std::string unescaped;
  for (char c : text) {
    if (c == '\\') unescaped += '\\';
    unescaped += c;
  }
  return doubled(unescaped, '\'');
}

std::string mysqlGrantDatabase(std::string_view name) {
  std::string escaped;
  for (char c : name) {
    if (c == '\\' || c == '_' || c == '%') escaped += '\\';
    escaped += c;
  }
  return mysqlIdentifier(escaped);
}

std::string dollarQuoteTag(std::string_view body) {
  std::string tag = "$qs$";
  for (int n = 1; body.find(tag) != std::string_view::npos; ++n) tag = "$qs" + std::to_string(n) + "$";
  return tag;
}

std::string postgresRoleScript(std::string_view role, std::string_view password) {
  std::string attributes = password.empty() ? "LOGIN" : "LOGIN PASSWORD " + postgresLiteral(password);
  std::string body = "BEGIN\n  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = " + postgresLiteral(role) +
                     ") THEN\n    CREATE ROLE " + postgresIdentifier(role) + " " + attributes +
                     ";\n  ELSE\n    ALTER ROLE " + postgresIdentifier(role) + " " + attributes +
                     ";\n  END IF;\nEND";
  std::string tag = dollarQuoteTag(body);
  return "DO " + tag + " " + body + " " + tag + ";";
}

std::string mysqlDatabaseScript(std::string_view database, std::string_view user, std::string_view password) {
  std::string script = "CREATE DATABASE IF NOT EXISTS " + mysqlIdentifier(database) + ";";
  // The service account has every privilege already, and its password is the engine's own.
  if (user == "quayside") return script;
  std::string account = mysqlLiteral(user) + "@'%'";
  script += "\nCREATE USER IF NOT EXISTS " + account + " IDENTIFIED BY " + mysqlLiteral(password);
  script += ";\nALTER USER " + account + " IDENTIFIED BY " + mysqlLiteral(password);
  script += ";\nGRANT ALL PRIVILEGES ON " + mysqlGrantDatabase(database) + ".* TO " + account;
  script += ";\nFLUSH PRIVILEGES;";
  return script;
}

std::string postgresReassignScript(std::string_view from, std::string_view to) {
  std::string body = "BEGIN\n  IF EXISTS (SELECT FROM pg_roles WHERE rolname = " + postgresLiteral(from) +
                     ") THEN\n    REASSIGN OWNED BY " + postgresIdentifier(from) + " TO " + postgresIdentifier(to) +
                     ";\n  END IF;\nEND";
  std::string tag = dollarQuoteTag(body);
  return "DO " + tag + " " + body + " " + tag + ";";
}

std::string postgresTransferServiceObjectsScript(std::string_view to) {
  // Owned by the service account, in a schema of the database's own, and not part of an
  // extension or (sequences) of a column: those follow their owner.
  auto owned = [](const std::string& catalog, const std::string& ownerColumn) {
    return " AND o." + ownerColumn + " = (SELECT oid FROM pg_roles WHERE rolname = 'quayside')" +
           " AND n.nspname NOT IN ('pg_catalog', 'information_schema') AND n.nspname NOT LIKE 'pg\\_%'" +
           " AND NOT EXISTS (SELECT FROM pg_depend d WHERE d.classid = '" + catalog +
           "'::regclass AND d.objid = o.oid AND d.deptype IN ('a', 'i', 'e'))";
  };
  auto loop = [](const std::string& query) { return "  FOR r IN " + query + " LOOP EXECUTE r.s; END LOOP;\n"; };
  std::string role = postgresLiteral(to);
  std::string body =
      "DECLARE r record;\nBEGIN\n" +
      loop("SELECT format('ALTER %s %I.%I OWNER TO %I', CASE o.relkind WHEN 'v' THEN 'VIEW' WHEN 'm' THEN "
           "'MATERIALIZED VIEW' WHEN 'f' THEN 'FOREIGN TABLE' WHEN 'S' THEN 'SEQUENCE' ELSE 'TABLE' END, n.nspname, "
           "o.relname, " + role + ") AS s FROM pg_class o JOIN pg_namespace n ON n.oid = o.relnamespace "
           "WHERE o.relkind IN ('r', 'p', 'v', 'm', 'f', 'S')" + owned("pg_class", "relowner")) +
      loop("SELECT format('ALTER %s %s OWNER TO %I', CASE o.typtype WHEN 'd' THEN 'DOMAIN' ELSE 'TYPE' END, "
           "o.oid::regtype, " + role + ") AS s FROM pg_type o JOIN pg_namespace n ON n.oid = o.typnamespace "
           "WHERE o.typtype IN ('e', 'd', 'r')" + owned("pg_type", "typowner")) +
      loop("SELECT format('ALTER ROUTINE %s OWNER TO %I', o.oid::regprocedure, " + role + ") AS s FROM pg_proc o "
           "JOIN pg_namespace n ON n.oid = o.pronamespace WHERE o.prokind IN ('f', 'p')" + owned("pg_proc", "proowner")) +
      loop("SELECT format('ALTER SCHEMA %I OWNER TO %I', n.nspname, " + role + ") AS s FROM pg_namespace n "
           "JOIN pg_namespace o ON o.oid = n.oid WHERE n.nspname <> 'public'" + owned("pg_namespace", "nspowner")) +
      "END";
  std::string tag = dollarQuoteTag(body);
  return "DO " + tag + " " + body + " " + tag + ";";
}

}  // namespace qs::sql

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
  if (user == "quayside" && password.empty()) return script;
  std::string account = mysqlLiteral(user) + "@'%'";
  script += "\nCREATE USER IF NOT EXISTS " + account + " IDENTIFIED BY " + mysqlLiteral(password);
  script += ";\nALTER USER " + account + " IDENTIFIED BY " + mysqlLiteral(password);
  script += ";\nGRANT ALL PRIVILEGES ON " + mysqlGrantDatabase(database) + ".* TO " + account;
  script += ";\nFLUSH PRIVILEGES;";
  return script;
}

}  // namespace qs::sql

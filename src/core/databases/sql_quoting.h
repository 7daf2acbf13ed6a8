// Putting names and passwords into SQL text. Every name, user and password reaches an engine
// only through these, whatever characters it holds.
#pragma once

#include <string>
#include <string_view>

namespace qs::sql {

// "a""b" — a PostgreSQL identifier in double quotes, inner double quotes doubled.
std::string postgresIdentifier(std::string_view name);
// 'it''s' — a PostgreSQL string literal (standard-conforming: backslashes are plain characters).
std::string postgresLiteral(std::string_view text);
// `a``b` — a MySQL identifier in backquotes, inner backquotes doubled.
std::string mysqlIdentifier(std::string_view name);
// `my\_shop` — a database name as GRANT reads it, where `_` and `%` are wildcards and `\`
// escapes them: each of the three is escaped, so the grant covers that one database only.
std::string mysqlGrantDatabase(std::string_view name);
// 'it''s \\ ok' — a MySQL string literal: backslashes doubled first (MySQL reads them as
// escapes), then single quotes doubled.
std::string mysqlLiteral(std::string_view text);
// A dollar-quote tag ("$qs$", "$qs1$", …) that does not occur in `body`, so the body can never
// end the quoted block early (a password holding "$$" would end a block quoted with $$).
std::string dollarQuoteTag(std::string_view body);

// PostgreSQL: create the login role `role` or, when it exists, set its password; with an empty
// password the role logs in without one.
std::string postgresRoleScript(std::string_view role, std::string_view password);
// MySQL: create the database and, unless the user is the service account, create or update the
// user 'user'@'%' and grant it everything on the database.
std::string mysqlDatabaseScript(std::string_view database, std::string_view user, std::string_view password);

// PostgreSQL, run inside a database: everything role `from` owns there passes to `to` (nothing
// when `from` does not exist).
std::string postgresReassignScript(std::string_view from, std::string_view to);
// PostgreSQL, run inside a database: the tables, views, sequences, types, functions and schemas
// that the service account owns there pass to `to`. (REASSIGN OWNED cannot do this: the
// service account also owns the system catalogue.)
std::string postgresTransferServiceObjectsScript(std::string_view to);

}  // namespace qs::sql

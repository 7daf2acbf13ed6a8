// Finds the database a user means on the command line, and the texts `qs db` prints.
#pragma once

#include "core/models/database.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

// The database `query` names among `databases`: the one whose id is `query` (any letter case),
// else the one whose name is exactly `query`, else the one whose name equals it ignoring ASCII
// letter case. None throws QSDaemonException(databaseNotFound): "No database matching 'X'.";
// several at the first step that has any throw QSCliError listing each with its type and id.
const QSDatabase& resolveDatabase(const std::vector<QSDatabase>& databases, std::string_view query);

// The table of `qs db ls`, or a hint how to make one when there are none.
std::string formatDatabaseList(const std::vector<QSDatabase>& databases, std::optional<std::size_t> width = std::nullopt);

// The type named on the command line: postgresql (or postgres), mysql (or mariadb), sqlite, redis.
// Throws QSCliError (usage) for anything else.
QSDatabaseType parseDatabaseType(const std::string& text);

}  // namespace qs

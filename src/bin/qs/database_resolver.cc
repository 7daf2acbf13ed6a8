#include "bin/qs/database_resolver.h"

#include "bin/qs/cli_session.h"
#include "bin/qs/output.h"

#include <algorithm>

namespace qs {
namespace {

std::string lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

}  // namespace

const QSDatabase& resolveDatabase(const std::vector<QSDatabase>& databases, std::string_view query) {
  std::vector<const QSDatabase*> matches;
  auto collect = [&](auto&& predicate) {
    for (const auto& d : databases)
      if (predicate(d)) matches.push_back(&d);
    return !matches.empty();
  };
  if (collect([&](const QSDatabase& d) { return lowered(d.id.string()) == lowered(query); }) ||
      collect([&](const QSDatabase& d) { return d.name == query; }) ||
      collect([&](const QSDatabase& d) { return lowered(d.name) == lowered(query); })) {
    if (matches.size() == 1) return *matches.front();
    std::string message = "Several databases are named '" + std::string(query) + "'; give one by its id:";
    for (const auto* d : matches) message += "\n  " + d->id.string() + "  " + std::string(displayName(d->type));
    throw QSCliError(message);
  }
  throw QSDaemonException(QSDaemonError(daemonError::DatabaseNotFound{std::string(query)}));
}

std::string formatDatabaseList(const std::vector<QSDatabase>& databases, std::optional<std::size_t> width) {
  if (databases.empty())
    return "No databases. Make one with 'qs db provision PROJECT postgresql' or 'qs db create NAME --type postgresql'.\n";
  QSTextTable table({"NAME", "TYPE", "PORT", "STATUS", "URL", "ID"});
  for (const auto& d : databases) {
    std::string status(rawValue(d.status));
    if (d.errorMessage && d.status == QSDatabaseStatus::error) status += ": " + *d.errorMessage;
    table.addRow({d.name, std::string(displayName(d.type)), d.type == QSDatabaseType::sqlite ? "-" : std::to_string(d.port),
                  status, d.displayConnectionString(), d.id.string()});
  }
  return table.render("", width);
}

QSDatabaseType parseDatabaseType(const std::string& text) {
  std::string type = lowered(text);
  if (type == "postgres" || type == "pg") type = "postgresql";
  if (type == "mariadb") type = "mysql";
  if (auto parsed = fromRawValue<QSDatabaseType>(type)) return *parsed;
  throw QSCliError("'" + text + "' isn't a database type: use postgresql, mysql, sqlite or redis.", QSExitCode::usage);
}

}  // namespace qs

// `qs db …`: the databases the daemon runs — list, create, provision for a project, start, stop,
// remove, edit credentials or port, and print a connection URL for scripts.
#include "bin/qs/cli_commands.h"
#include "bin/qs/database_resolver.h"
#include "bin/qs/output.h"
#include "bin/qs/project_resolver.h"

#include "core/platform/terminal.h"

#include <fmt/format.h>

#include <cstdio>
#include <memory>
#include <optional>

namespace qs {
namespace {

struct DbOptions {
  std::string name;  // a database's name or id, or the new database's name
  std::string project;
  std::string type;
  std::optional<int> port;
  std::optional<std::string> user;
  std::optional<std::string> password;  // resolved from the three below before a request
  std::vector<std::string> passwordValue;  // --password [VALUE]
  bool passwordStdin = false;
};

// Where a command's password comes from: a password in the argument list can be read by every
// user of the machine (ps, /proc) while qs runs, so standard input and a prompt are offered.
struct PasswordSource {
  CLI::Option* option = nullptr;  // --password, which may come without a value
};

std::string prompted(const char* prompt) {
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  auto line = readLineWithoutEcho();
  std::fputs("\n", stderr);
  if (!line) throw QSCliError("No password typed: nothing changed.");
  return *line;
}

// Fills options.password from --password-stdin, a prompt (--password alone) or --password VALUE.
void resolvePassword(DbOptions& options, const PasswordSource& source) {
  bool flag = source.option && source.option->count() > 0;
  // --password given alone reads as one empty value.
  bool valueGiven = !options.passwordValue.empty() && !options.passwordValue.front().empty();
  if (flag && options.passwordStdin)
    throw QSCliError("Give either --password or --password-stdin, not both.", QSExitCode::usage);
  if (options.passwordStdin) {
    auto line = isTerminal(0) ? std::optional<std::string>(prompted("Password: ")) : readLineWithoutEcho();
    if (!line || line->empty())
      throw QSCliError("No password on standard input: pipe it in, e.g. printf '%s\\n' \"$PW\" | qs db … --password-stdin.",
                       QSExitCode::usage);
    if (line->back() == '\r') line->pop_back();
    options.password = *line;
  } else if (flag && !valueGiven) {
    if (!isTerminal(0))
      throw QSCliError("--password without a value asks on a terminal, and there is none: pipe the password into "
                       "--password-stdin instead.",
                       QSExitCode::usage);
    std::string first = prompted("Password: ");
    if (prompted("Repeat it: ") != first) throw QSCliError("The two passwords differ: nothing changed.");
    if (first.empty()) throw QSCliError("The password is empty: nothing changed.", QSExitCode::usage);
    options.password = first;
  } else if (flag) {
    options.password = options.passwordValue.front();
    std::fputs("Warning: a password on the command line can be read by every user of this machine while qs runs; "
               "pipe it into --password-stdin, or give --password alone to type it.\n",
               stderr);
  }
}

asio::awaitable<std::vector<QSDatabase>> listDatabases(QSCliSession& session) {
  QSDaemonCommand list = cmd::ListDatabases{};
  res::Databases databases = co_await session.request<res::Databases>(list);
  co_return databases.value;
}

asio::awaitable<QSDatabase> findDatabase(QSCliSession& session, const std::string& query) {
  auto databases = co_await listDatabases(session);
  co_return resolveDatabase(databases, query);
}

void printDatabase(QSCliSession& session, const std::string& headline, const QSDatabase& database) {
  if (session.json) {
    fmt::print("{}", jsonText(database));
    return;
  }
  fmt::print("{}\n", headline);
  fmt::print("  URL: {}\n", database.displayConnectionString());
}

asio::awaitable<int> runList(QSCliSession& session) {
  auto databases = co_await listDatabases(session);
  fmt::print("{}", session.json ? jsonText(databases) : formatDatabaseList(databases, standardOutputWidth()));
  co_return QSExitCode::success;
}

asio::awaitable<int> runCreate(QSCliSession& session, DbOptions options, PasswordSource source) {
  resolvePassword(options, source);
  QSDaemonCommand create = cmd::CreateDatabase{options.name, parseDatabaseType(options.type), options.port,
                                               options.user, options.password};
  res::Database created = co_await session.request<res::Database>(create);
  printDatabase(session, fmt::format("Created the {} database {}.", displayName(created.value.type), created.value.name),
                created.value);
  co_return QSExitCode::success;
}

asio::awaitable<int> runProvision(QSCliSession& session, DbOptions options, PasswordSource source) {
  resolvePassword(options, source);
  QSDatabaseType type = parseDatabaseType(options.type);
  QSProject project = co_await findProject(session, options.project);
  QSDaemonCommand provision = cmd::ProvisionDatabase{project.id, type, type == QSDatabaseType::redis, options.user,
                                                     options.password};
  res::Project linked = co_await session.request<res::Project>(provision);
  auto databases = co_await listDatabases(session);
  auto id = type == QSDatabaseType::redis ? linked.value.redisID : linked.value.databaseID;
  auto database = std::find_if(databases.begin(), databases.end(), [&](const QSDatabase& d) { return id && d.id == *id; });
  if (session.json) {
    fmt::print("{}", database != databases.end() ? jsonText(*database) : jsonText(linked.value));
    co_return QSExitCode::success;
  }
  if (database != databases.end())
    fmt::print("Provisioned the {} database {} for {}; its settings are in {}/.env.\n  URL: {}\n",
               displayName(type), database->name, linked.value.name, linked.value.path.string(),
               database->displayConnectionString());
  co_return QSExitCode::success;
}

asio::awaitable<int> runStartStop(QSCliSession& session, std::string query, bool start) {
  QSDatabase database = co_await findDatabase(session, query);
  QSDaemonCommand command = start ? QSDaemonCommand(cmd::StartDatabase{database.id})
                                  : QSDaemonCommand(cmd::StopDatabase{database.id});
  co_await session.request<res::Ok>(command);
  if (start)
    fmt::print("Started {} ({}).\n", database.name, displayName(database.type));
  else if (database.type == QSDatabaseType::sqlite)
    fmt::print("Stopped {}.\n", database.name);
  else  // one engine serves every database of its type
    fmt::print("Stopped {}; every {} database is stopped with its engine.\n", database.name, displayName(database.type));
  co_return QSExitCode::success;
}

asio::awaitable<int> runRemove(QSCliSession& session, std::string query, bool yes) {
  QSDatabase database = co_await findDatabase(session, query);
  if (!yes && !confirm(fmt::format("Drop the {} database {} and everything in it?", displayName(database.type),
                                   database.name))) {
    fmt::print("Nothing removed.\n");
    co_return QSExitCode::failure;
  }
  QSDaemonCommand remove = cmd::RemoveDatabase{database.id};
  co_await session.request<res::Ok>(remove);
  fmt::print("Removed {}.\n", database.name);
  co_return QSExitCode::success;
}

asio::awaitable<int> runEdit(QSCliSession& session, DbOptions options, PasswordSource source) {
  bool passwordAsked = options.passwordStdin || (source.option && source.option->count() > 0);
  if (!options.user && !passwordAsked && !options.port)
    throw QSCliError("Nothing to change: give --user, --password, --password-stdin or --port.", QSExitCode::usage);
  resolvePassword(options, source);
  QSDatabase database = co_await findDatabase(session, options.name);
  if (options.user) database.username = *options.user;
  if (options.password) database.password = *options.password;
  if (options.port) {
    if (*options.port < 1 || *options.port > 65535)
      throw QSCliError("Port " + std::to_string(*options.port) + " is not a valid port: choose a number from 1 to 65535.",
                       QSExitCode::usage);
    database.port = *options.port;
  }
  QSDaemonCommand update = cmd::UpdateDatabase{database};
  res::Database updated = co_await session.request<res::Database>(update);
  printDatabase(session, "Updated " + updated.value.name + ".", updated.value);
  co_return QSExitCode::success;
}

asio::awaitable<int> runURL(QSCliSession& session, std::string query) {
  QSDatabase database = co_await findDatabase(session, query);
  fmt::print("{}\n", database.connectionString());
  co_return QSExitCode::success;
}

PasswordSource addCredentialOptions(CLI::App* command, const std::shared_ptr<DbOptions>& options) {
  command->add_option("--user", options->user,
                      "The role or user the database belongs to (default: one of its own, named after it)");
  auto* password = command->add_option("--password", options->passwordValue,
                                       "Its password; alone, asks for it without showing it (default: a random one)")
                       ->expected(0, 1);
  command->add_flag("--password-stdin", options->passwordStdin, "Read the password from the first line of standard input");
  return {password};
}

}  // namespace

void addDatabaseCommands(CLI::App& app, QSCliSession& session) {
  auto* db = addCommand(app, "db", "Manage databases on the shared PostgreSQL, MySQL and Redis engines, and SQLite files",
                        "  qs db provision blog postgresql   # a database for blog, its settings in blog's .env\n"
                        "  qs db ls\n"
                        "  qs db url blog                    # the connection URL, for scripts\n"
                        "  qs db edit blog --password        # asks for the new one\n");
  db->require_subcommand(1);
  auto options = std::make_shared<DbOptions>();

  auto* ls = addCommand(*db, "ls", "List the databases", "  qs db ls\n  qs db ls --json\n");
  addJsonFlag(ls, session);
  onRun(ls, session, [&session] { return runList(session); });

  auto* create = addCommand(*db, "create", "Create a database not linked to any project",
                            "  qs db create analytics --type postgresql\n"
                            "  qs db create cache --type redis\n"
                            "  qs db create shop --type mysql --user shop --password   # asks for it\n"
                            "  printf '%s\\n' \"$PW\" | qs db create shop --type mysql --user shop --password-stdin\n");
  create->add_option("NAME", options->name, "The database's name")->required();
  create->add_option("--type", options->type, "postgresql, mysql, sqlite or redis")->required();
  create->add_option("--port", options->port, "The engine's port to record (the engine's own wins once it runs)");
  auto createPassword = addCredentialOptions(create, options);
  addJsonFlag(create, session);
  onRun(create, session, [&session, options, createPassword] { return runCreate(session, *options, createPassword); });

  auto* provision = addCommand(*db, "provision", "Create a database for a project and write its settings to the project's .env",
                               "  qs db provision blog postgresql   # DB_HOST … DB_NAME and DATABASE_URL\n"
                               "  qs db provision blog redis        # REDIS_URL\n"
                               "  qs db provision blog sqlite\n"
                               "  qs db provision blog mysql --user blog --password   # asks for it\n");
  provision->add_option("PROJECT", options->project, "The project's name or id")->required();
  provision->add_option("TYPE", options->type, "postgresql, mysql, sqlite or redis")->required();
  auto provisionPassword = addCredentialOptions(provision, options);
  addJsonFlag(provision, session);
  onRun(provision, session,
        [&session, options, provisionPassword] { return runProvision(session, *options, provisionPassword); });

  for (bool start : {true, false}) {
    auto* command = addCommand(*db, start ? "start" : "stop",
                               start ? "Start a database's engine" : "Stop a database's engine (and so every database on it)",
                               start ? "  qs db start blog\n" : "  qs db stop blog\n");
    command->add_option("NAME", options->name, "The database's name or id")->required();
    onRun(command, session, [&session, options, start] { return runStartStop(session, options->name, start); });
  }

  auto yes = std::make_shared<bool>(false);
  auto* rm = addCommand(*db, "rm", "Drop a database and forget it (its projects are unlinked)",
                        "  qs db rm analytics\n  qs db rm analytics --yes\n");
  rm->add_option("NAME", options->name, "The database's name or id")->required();
  rm->add_flag("-y,--yes", *yes, "Don't ask first");
  onRun(rm, session, [&session, options, yes] { return runRemove(session, options->name, *yes); });

  auto* edit = addCommand(*db, "edit", "Change a database's user, password or port; linked projects' .env files follow",
                          "  qs db edit blog --password                 # asks for the new one\n"
                          "  qs db edit blog --user blog                # its tables move to the new user\n"
                          "  pass show blog | qs db edit blog --password-stdin\n");
  edit->add_option("NAME", options->name, "The database's name or id")->required();
  edit->add_option("--port", options->port, "The port to record");
  auto editPassword = addCredentialOptions(edit, options);
  addJsonFlag(edit, session);
  onRun(edit, session, [&session, options, editPassword] { return runEdit(session, *options, editPassword); });

  auto* url = addCommand(*db, "url", "Print a database's connection URL (with its password)",
                         "  qs db url blog\n  psql \"$(qs db url blog)\"\n");
  url->add_option("NAME", options->name, "The database's name or id")->required();
  onRun(url, session, [&session, options] { return runURL(session, options->name); });
}

}  // namespace qs

#include "core/databases/postgres_engine.h"

#include "core/databases/database_error.h"
#include "core/databases/engine_tool.h"
#include "core/databases/service_registry.h"
#include "core/databases/sql_quoting.h"
#include "core/platform/child_process.h"
#include "core/platform/files.h"
#include "core/platform/proc_table.h"
#include "core/platform/shell_words.h"
#include "core/platform/system_error.h"
#include "core/platform/text.h"

#include <csignal>

namespace qs {
namespace fs = std::filesystem;
namespace {

// Who may connect how. The socket lives in the private postgresql folder, which only the owner
// can enter: Quayside's own tools sign in there without a password. TCP is open to every local
// user, so there every role, the service account included, must give its password.
const char* const kClientAuthentication =
    "# Written by Quayside.\n"
    "local all all trust\n"
    "host all all 127.0.0.1/32 scram-sha-256\n"
    "host all all ::1/128 scram-sha-256\n";

// Why the server would not start, from the end of its log: the last FATAL or ERROR message,
// with the DETAIL line after it.
std::optional<std::string> startFailure(const std::string& log) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < log.size();) {
    auto end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    lines.push_back(log.substr(start, end - start));
    start = end + 1;
  }
  for (std::size_t i = lines.size(); i-- > 0;) {
    auto message = lastLogMessage(lines[i], "FATAL:");
    if (!message) message = lastLogMessage(lines[i], "ERROR:");
    if (!message) continue;
    if (i + 1 < lines.size())
      if (auto detail = lastLogMessage(lines[i + 1], "DETAIL:")) *message += " " + *detail;
    return message;
  }
  return std::nullopt;
}

}  // namespace

bool QSPostgresEngine::isInitialized() const { return fileExists(folder() / ".quayside-initialized"); }

void QSPostgresEngine::initialize() {
  fs::path data = folder() / "data";
  if (!fileExists(data)) {
    createDirectories(folder(), 0700);
    account_.ensurePassword(QSDatabaseType::postgresql);
    runEngineTool(binary("initdb"),
                  {.arguments = {"-D", data.string(), "-U", "quayside", "--encoding=UTF8", "--locale=C",
                                 "--pwfile=" + account_.passwordFile(QSDatabaseType::postgresql).string()}});
    writeFileAtomically(data / "pg_hba.conf", kClientAuthentication, 0600);
    account_.markSecured(QSDatabaseType::postgresql);
  }
  if (!fileExists(folder() / ".quayside-initialized"))
    writeFileAtomically(folder() / ".quayside-initialized", "", 0600);
}

void QSPostgresEngine::start(int port) {
  fs::path data = folder() / "data";
  std::string onDisk(trimmed(readFileIfPresent(data / "PG_VERSION").value_or("")));
  if (!onDisk.empty()) {
    auto installed = context_.registry->service(QSDatabaseType::postgresql);
    std::string major = installed ? installed->version.substr(0, installed->version.find('.')) : "";
    if (!major.empty() && major != onDisk)
      throw QSDatabaseException(QSDatabaseError(databaseError::ClusterVersionMismatch{onDisk, major}));
  }
  // pg_ctl hands -o to a shell: the socket folder goes in single quotes.
  fs::path log = folder() / "postgres.log";
  std::string options = "-p " + std::to_string(port) + " -k " + shellQuoted(folder().string()) +
                        " -c listen_addresses=127.0.0.1";
  // The log collects every start; only what this one wrote explains its failure.
  std::size_t logBefore = readFileIfPresent(log).value_or("").size();
  try {
    runEngineTool(binary("pg_ctl"),
                  {.arguments = {"start", "-D", data.string(), "-o", options, "-l", log.string(), "-w"}});
  } catch (const QSDatabaseException&) {
    std::string written = readFileIfPresent(log).value_or("");
    written = written.size() >= logBefore ? written.substr(logBefore) : written;
    // The server's FATAL line ("could not create any TCP/IP sockets") does not say why.
    if (written.find("Address already in use") != std::string::npos)
      throw QSDatabaseException(QSDatabaseError(databaseError::InitializationFailed{
          QSDatabaseType::postgresql, "port " + std::to_string(port) + ": Address already in use"}));
    if (auto why = startFailure(written))
      throw QSDatabaseException(QSDatabaseError(databaseError::InitializationFailed{QSDatabaseType::postgresql, *why}));
    throw;
  }
}

void QSPostgresEngine::stop() {
  if (status() != QSDatabaseStatus::running) return;
  runEngineTool(binary("pg_ctl"),
                {.arguments = {"stop", "-D", (folder() / "data").string(), "-m", "fast", "-w"}});
}

std::optional<std::int32_t> QSPostgresEngine::pid() const {
  fs::path pidFile = folder() / "data" / "postmaster.pid";
  auto text = readFileIfPresent(pidFile);
  if (!text) return std::nullopt;
  std::string first(trimmed(text->substr(0, text->find('\n'))));
  if (!first.empty() && first.find_first_not_of("0123456789") == std::string::npos && first.size() < 10) {
    // The id alone could have been reused by an unrelated process since the server died.
    auto pid = static_cast<std::int32_t>(std::stol(first));
    auto identity = processIdentity(pid);
    if (identity && identity->name == "postgres") return pid;
  }
  tryRemoveFile(pidFile);
  return std::nullopt;
}

QSDatabaseStatus QSPostgresEngine::status() {
  return pid() ? QSDatabaseStatus::running : QSDatabaseStatus::stopped;
}

void QSPostgresEngine::end() {
  // pg_ctl's fast shutdown (SIGINT to the postmaster) without pg_ctl, which may be gone with the
  // engines' links and refuses to run as root.
  auto pid = this->pid();
  auto handle = pid ? openProcessHandle(*pid) : UniqueFd();
  if (!handle || !signalProcessHandle(handle, SIGINT)) return;
  auto gone = [&] { return !signalProcessHandle(handle, 0); };
  if (pollUntil(gone, std::chrono::seconds(60))) return;
  signalProcessHandle(handle, SIGQUIT);  // its immediate shutdown
  if (!pollUntil(gone, std::chrono::seconds(10)))
    throw QSSystemError("stop PostgreSQL (pid " + std::to_string(*pid) + ")", ETIMEDOUT);
}

void QSPostgresEngine::secure() {
  fs::path data = folder() / "data";
  if (account_.isSecured(QSDatabaseType::postgresql) || !fileExists(data / "PG_VERSION")) return;
  // The rules first: from the reload on, TCP wants a password, which the role then gets.
  std::string secret = account_.ensurePassword(QSDatabaseType::postgresql);
  writeFileAtomically(data / "pg_hba.conf", kClientAuthentication, 0600);
  if (status() != QSDatabaseStatus::running) return;  // the start that follows finishes it
  psql(context_.clusterPort(),
       "SELECT pg_reload_conf();\nALTER ROLE quayside PASSWORD " + sql::postgresLiteral(secret) + ";", {secret});
  account_.markSecured(QSDatabaseType::postgresql);
}

std::string QSPostgresEngine::psql(int port, const std::string& sql, const std::vector<std::string>& secrets,
                                    const std::string& database) {
  std::vector<std::string> arguments{"-X", "-q", "-v", "ON_ERROR_STOP=1", "-tA"};
  for (auto& a : account_.postgresArguments(port, database)) arguments.push_back(std::move(a));
  return runEngineTool(binary("psql"),
                       {.arguments = arguments, .input = sql, .secrets = secrets});
}

void QSPostgresEngine::applyCredentials(const QSDatabase& database,
                                        const std::optional<std::string>& previousUser) {
  context_.ensureRunning();
  int port = context_.clusterPort();
  std::string role = database.username.value_or(std::string(QSServiceAccount::name));
  std::string secret = database.password.value_or("");
  std::string script = QSServiceAccount::isServiceAccount(role) ? "" : sql::postgresRoleScript(role, secret) + "\n";
  psql(port, script + "ALTER DATABASE " + sql::postgresIdentifier(database.effectiveDatabaseName()) + " OWNER TO " +
                 sql::postgresIdentifier(role) + ";",
       {secret});
  if (!previousUser || *previousUser == role) return;
  // The tables the app made as the old user stay its own under the new one.
  std::string transfer = QSServiceAccount::isServiceAccount(previousUser)
                             ? sql::postgresTransferServiceObjectsScript(role)
                             : sql::postgresReassignScript(*previousUser, role);
  psql(port, transfer, {}, database.effectiveDatabaseName());
}

void QSPostgresEngine::createDatabase(const std::string& name, int port, const std::optional<std::string>& username,
                                      const std::optional<std::string>& password) {
  std::string role = username.value_or("quayside");
  std::string secret = password.value_or("");
  std::string script = role != "quayside" ? sql::postgresRoleScript(role, secret) + "\n" : "";
  // One psql run: psql's \gexec runs the chosen statement on its own, outside a transaction,
  // as CREATE DATABASE requires; each psql start and sign-in costs more than the statement.
  std::string alter = "ALTER DATABASE " + sql::postgresIdentifier(name) + " OWNER TO " + sql::postgresIdentifier(role);
  std::string create = "CREATE DATABASE " + sql::postgresIdentifier(name) + " OWNER " + sql::postgresIdentifier(role);
  script += "SELECT CASE WHEN EXISTS (SELECT FROM pg_database WHERE datname = " + sql::postgresLiteral(name) +
            ") THEN " + sql::postgresLiteral(alter) + " ELSE " + sql::postgresLiteral(create) + " END \\gexec\n";
  psql(port, script, {secret});
}

void QSPostgresEngine::dropDatabase(const std::string& name) {
  context_.ensureRunning();
  psql(context_.clusterPort(), "DROP DATABASE IF EXISTS " + sql::postgresIdentifier(name) + " WITH (FORCE);");
}

bool QSPostgresEngine::databaseExists(const std::string& name) {
  std::string out =
      psql(context_.clusterPort(), "SELECT 1 FROM pg_database WHERE datname = " + sql::postgresLiteral(name) + ";");
  return out.find('1') != std::string::npos;
}

bool QSPostgresEngine::isReservedName(std::string_view lowered) const {
  return lowered == "postgres" || lowered == "template0" || lowered == "template1";
}

bool QSPostgresEngine::wroteDump(std::string_view head) const {
  return head.find("-- PostgreSQL database dump") != std::string_view::npos;
}

QSEngineCommand QSPostgresEngine::dumpCommand(const QSDatabase& database, int port) const {
  QSEngineCommand command{.tool = "pg_dump",
                          .arguments = {"-h", "127.0.0.1", "-p", std::to_string(port), "-U", signInUser(database),
                                        "--clean", "--if-exists", database.effectiveDatabaseName()},
                          .secrets = {database.password.value_or("")}};
  if (database.password && !database.password->empty()) command.environment["PGPASSWORD"] = *database.password;
  return command;
}

QSEngineCommand QSPostgresEngine::recreateCommand(const QSDatabase& database, int port) const {
  std::string name = sql::postgresIdentifier(database.effectiveDatabaseName());
  QSEngineCommand command{.tool = "psql", .arguments = {"-X", "-q", "-v", "ON_ERROR_STOP=1"}};
  for (auto& a : account_.postgresArguments(port, "postgres")) command.arguments.push_back(std::move(a));
  command.arguments.push_back("-c");
  command.arguments.push_back("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
  command.arguments.push_back("-c");
  command.arguments.push_back("CREATE DATABASE " + name + " OWNER " + sql::postgresIdentifier(signInUser(database)));
  return command;
}

QSEngineCommand QSPostgresEngine::loadCommand(const QSDatabase& database, int port, const fs::path& file) const {
  QSEngineCommand command{.tool = "psql",
                          .arguments = {"-X", "-q", "-h", "127.0.0.1", "-p", std::to_string(port), "-U",
                                        signInUser(database), "-d", database.effectiveDatabaseName(), "-v",
                                        "ON_ERROR_STOP=1", "--single-transaction", "-f", file.string()},
                          .secrets = {database.password.value_or("")}};
  if (database.password && !database.password->empty()) command.environment["PGPASSWORD"] = *database.password;
  return command;
}

std::vector<std::string> QSPostgresEngine::clientArguments(const QSDatabase& database, const fs::path&) const {
  return {"-h", database.host, "-p", std::to_string(database.port), "-U", signInUser(database),
          database.effectiveDatabaseName()};
}

}  // namespace qs

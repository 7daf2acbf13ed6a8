#include "core/databases/mysql_engine.h"

#include "core/databases/database_error.h"
#include "core/databases/engine_tool.h"
#include "core/databases/sql_quoting.h"
#include "core/platform/child_process.h"
#include "core/platform/files.h"
#include "core/platform/proc_table.h"

#include <csignal>

namespace qs {
namespace fs = std::filesystem;
namespace {

constexpr auto kStartLimit = std::chrono::seconds(10);

// The accounts a new data folder has that let anyone in without a password, other than
// 'root'@'localhost' (which gets the service password): anonymous ones and root on other hosts.
// TCP connections from 127.0.0.1 match 'localhost' too, so every one of them is reachable.
const char* const kOpenAccountsQuery =
    "SELECT CONCAT(QUOTE(User), '@', QUOTE(Host)) FROM mysql.user WHERE User = '' OR (User = 'root' AND Host <> 'localhost');";

std::string serviceAccountScript(const std::string& secret, const std::string& openAccounts) {
  std::string password = sql::mysqlLiteral(secret);
  std::string script = "CREATE USER IF NOT EXISTS 'quayside'@'localhost' IDENTIFIED BY " + password +
                       ";\nALTER USER 'quayside'@'localhost' IDENTIFIED BY " + password +
                       ";\nGRANT ALL PRIVILEGES ON *.* TO 'quayside'@'localhost' WITH GRANT OPTION;\n";
  for (std::size_t start = 0; start < openAccounts.size();) {
    auto end = openAccounts.find('\n', start);
    if (end == std::string::npos) end = openAccounts.size();
    if (end > start) script += "DROP USER " + openAccounts.substr(start, end - start) + ";\n";
    start = end + 1;
  }
  return script + "ALTER USER IF EXISTS 'root'@'localhost' IDENTIFIED BY " + password + ";\nFLUSH PRIVILEGES;";
}

// mysqld refuses to run as root unless told which account to run as.
std::vector<std::string> userArguments() {
  if (currentUserID() == 0) return {"--user=root"};
  return {};
}

}  // namespace

bool QSMySQLEngine::isInitialized() const { return fileExists(folder() / ".quayside-initialized"); }

std::optional<std::int32_t> QSMySQLEngine::adopted() const {
  return adoptedServer(folder() / "mysql.pid", {"mysqld", "mariadbd"});
}

std::vector<std::int32_t> QSMySQLEngine::serverProcesses() const {
  std::vector<std::int32_t> pids;
  if (auto pid = server_.pid()) pids.push_back(*pid);
  if (auto pid = adopted()) pids.push_back(*pid);
  return pids;
}

void QSMySQLEngine::initialize() {
  fs::path marker = folder() / ".quayside-initialized";
  if (fileExists(marker)) return;
  fs::path data = folder() / "data";
  if (!fileExists(data)) {
    createDirectories(folder(), 0700);
    fs::path installDB = binary("mariadb-install-db");
    if (fileExists(installDB)) {
      // MariaDB has no --initialize-insecure; its root logs in over the socket without a password.
      std::vector<std::string> arguments{"--no-defaults", "--datadir=" + data.string(),
                                         "--auth-root-authentication-method=normal", "--skip-test-db"};
      for (auto& a : userArguments()) arguments.push_back(a);
      runEngineTool(installDB, {.arguments = arguments});
    } else {
      std::vector<std::string> arguments{"--no-defaults", "--initialize-insecure", "--datadir=" + data.string()};
      for (auto& a : userArguments()) arguments.push_back(a);
      runEngineTool(binary("mysqld"), {.arguments = arguments});
    }
  }
  if (!isRunning()) context_.startOnAFreePort(context_.clusterPort());
  try {
    secure();
  } catch (const std::exception& e) {
    stop();
    throw QSDatabaseException(QSDatabaseError(databaseError::InitializationFailed{
        QSDatabaseType::mysql, std::string("Failed to create quayside user: ") + e.what()}));
  }
  // The server stays up: every initialisation is followed by a start, which then has nothing
  // to do (a stop and a second start would cost a MariaDB cluster's first use seconds).
  writeFileAtomically(marker, "", 0600);
}

void QSMySQLEngine::start(int port) {
  if (isRunning()) return;
  fs::path server = binary("mysqld");
  if (!fileExists(server))
    throw QSDatabaseException(QSDatabaseError(databaseError::ServiceNotInstalled{QSDatabaseType::mysql}));
  fs::path log = folder() / "mysql.log";
  // The socket tells when the server is ready, so an old one must not answer for it.
  tryRemoveFile(socket());
  std::string logBefore = readFileIfPresent(log).value_or("");
  QSChildLaunch launch{.executable = server,
                       .arguments = {"--no-defaults", "--datadir=" + (folder() / "data").string(),
                                     "--port=" + std::to_string(port), "--socket=" + socket().string(),
                                     "--pid-file=" + (folder() / "mysql.pid").string(),
                                     "--bind-address=127.0.0.1", "--log-error=" + log.string()},
                       .workingDirectory = folder(),
                       .outputFile = log};
  for (auto& a : userArguments()) launch.arguments.push_back(a);
  auto process = QSChildProcess::spawn(launch);
  server_.record(process);
  // The socket file appears a moment before the server listens on it; ping answers once it does
  // (mysqladmin ping succeeds for a live server whatever the user's access).
  auto answers = [&] {
    if (!fileExists(socket())) return false;
    try {
      runEngineTool(binary("mysqladmin"),
                    {.arguments = {"--no-defaults", "-u", "root", "--socket=" + socket().string(), "ping"}});
      return true;
    } catch (const std::exception&) {
      return false;
    }
  };
  bool ready = pollUntil([&] { return !process->isRunning() || answers(); }, kStartLimit);
  if (ready && process->isRunning()) return;
  server_.end(false);
  if (!ready) {
    throw QSDatabaseException(
        QSDatabaseError(databaseError::InitializationFailed{QSDatabaseType::mysql, "MySQL did not start within 10 seconds"}));
  }
  std::string newLog = readFileIfPresent(log).value_or("");
  newLog = newLog.size() >= logBefore.size() ? newLog.substr(logBefore.size()) : newLog;
  auto why = newLog.find("Address already in use") != std::string::npos
                 ? std::optional<std::string>("port " + std::to_string(port) + ": Address already in use")
                 : lastLogMessage(newLog, "[ERROR]");
  throw QSDatabaseException(QSDatabaseError(
      databaseError::InitializationFailed{QSDatabaseType::mysql, why.value_or("mysqld exited immediately")}));
}

void QSMySQLEngine::stop() {
  auto adopted = this->adopted();
  if (!server_.isRunning() && !adopted) {
    server_.forget();
    return;
  }
  bool shutDown = false;
  try {
    std::vector<std::string> arguments{"--no-defaults"};
    for (auto& a : account_.mysqlArguments()) arguments.push_back(std::move(a));
    arguments.push_back("shutdown");
    runEngineTool(binary("mysqladmin"),
                  {.arguments = arguments, .environment = account_.mysqlEnvironment()});
    shutDown = true;
  } catch (const std::exception&) {
    // Terminated below instead.
  }
  server_.end(!shutDown);
  // An adopted server is nobody's child here: it is watched through its id until it has gone.
  if (adopted) endProcesses({*adopted}, !shutDown);
}

void QSMySQLEngine::secure() {
  if (account_.isSecured(QSDatabaseType::mysql) || !isRunning()) return;
  std::string secret = account_.ensurePassword(QSDatabaseType::mysql);
  // Root signs in without a password until this has run once, and with the service password
  // should an earlier run have stopped midway.
  auto asRoot = [&](const std::string& sql) {
    QSEngineToolRun run{.arguments = {"--no-defaults", "-u", "root", "--socket=" + socket().string(), "-N", "-B", "-r"},
                        .input = sql,
                        .secrets = {secret}};
    try {
      return runEngineTool(binary("mysql"), run);
    } catch (const QSDatabaseException&) {
      run.environment["MYSQL_PWD"] = secret;
      return runEngineTool(binary("mysql"), run);
    }
  };
  asRoot(serviceAccountScript(secret, asRoot(kOpenAccountsQuery)));
  account_.markSecured(QSDatabaseType::mysql);
}

std::string QSMySQLEngine::mysql(const std::string& sql, const std::vector<std::string>& secrets) {
  std::vector<std::string> arguments{"--no-defaults"};
  for (auto& a : account_.mysqlArguments()) arguments.push_back(std::move(a));
  for (const char* a : {"-N", "-B", "-r"}) arguments.push_back(a);
  auto environment = account_.mysqlEnvironment();
  std::vector<std::string> hidden = secrets;
  for (const auto& [key, value] : environment) hidden.push_back(value);
  return runEngineTool(binary("mysql"),
                       {.arguments = arguments, .input = sql, .environment = environment, .secrets = hidden});
}

void QSMySQLEngine::applyCredentials(const QSDatabase& database, const std::optional<std::string>& previousUser) {
  context_.ensureRunning();
  std::string user = database.username.value_or(std::string(QSServiceAccount::name));
  std::string secret = database.password.value_or("");
  std::string name = database.effectiveDatabaseName();
  mysql(sql::mysqlDatabaseScript(name, user, secret), {secret});
  if (!previousUser || *previousUser == user || QSServiceAccount::isServiceAccount(previousUser)) return;
  // The database's grants move with the user: the old one keeps no way into it.
  try {
    mysql("REVOKE ALL PRIVILEGES ON " + sql::mysqlGrantDatabase(name) + ".* FROM " + sql::mysqlLiteral(*previousUser) +
          "@'%';\nFLUSH PRIVILEGES;");
  } catch (const QSDatabaseException&) {
    // The old user had no grant on it (or is gone): nothing to move.
  }
}

void QSMySQLEngine::end() {
  server_.end(true);
  if (auto pid = adopted()) endProcesses({*pid});
}

void QSMySQLEngine::createDatabase(const std::string& name, int, const std::optional<std::string>& username,
                                   const std::optional<std::string>& password) {
  std::string user = username.value_or(std::string(QSServiceAccount::name));
  std::string secret = password.value_or("");
  mysql(sql::mysqlDatabaseScript(name, user, secret), {secret});
}

void QSMySQLEngine::dropDatabase(const std::string& name) {
  context_.ensureRunning();
  mysql("DROP DATABASE IF EXISTS " + sql::mysqlIdentifier(name) + ";");
}

bool QSMySQLEngine::databaseExists(const std::string& name) {
  std::string out =
      mysql("SELECT SCHEMA_NAME FROM information_schema.schemata WHERE SCHEMA_NAME = " + sql::mysqlLiteral(name) + ";");
  for (std::size_t start = 0; start < out.size();) {
    auto end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    if (out.compare(start, end - start, name) == 0) return true;
    start = end + 1;
  }
  return false;
}

bool QSMySQLEngine::isReservedName(std::string_view lowered) const {
  return lowered == "mysql" || lowered == "information_schema" || lowered == "performance_schema" || lowered == "sys";
}

bool QSMySQLEngine::wroteDump(std::string_view head) const {
  return head.find("-- MySQL dump") != std::string_view::npos || head.find("-- MariaDB dump") != std::string_view::npos;
}

QSEngineCommand QSMySQLEngine::dumpCommand(const QSDatabase& database, int port) const {
  QSEngineCommand command{.tool = "mysqldump",
                          .arguments = {"--no-defaults", "-h", "127.0.0.1", "-P", std::to_string(port), "-u",
                                        signInUser(database), database.effectiveDatabaseName()},
                          .secrets = {database.password.value_or("")}};
  if (database.password && !database.password->empty()) command.environment["MYSQL_PWD"] = *database.password;
  return command;
}

QSEngineCommand QSMySQLEngine::recreateCommand(const QSDatabase& database, int) const {
  std::string name = sql::mysqlIdentifier(database.effectiveDatabaseName());
  QSEngineCommand command{.tool = "mysql", .arguments = {"--no-defaults"}, .environment = account_.mysqlEnvironment()};
  for (auto& a : account_.mysqlArguments()) command.arguments.push_back(std::move(a));
  command.arguments.push_back("-e");
  command.arguments.push_back("DROP DATABASE IF EXISTS " + name + "; CREATE DATABASE " + name + ";");
  command.secrets = {command.environment["MYSQL_PWD"]};
  return command;
}

QSEngineCommand QSMySQLEngine::loadCommand(const QSDatabase& database, int port, const fs::path& file) const {
  QSEngineCommand command{.tool = "mysql",
                          .arguments = {"--no-defaults", "-h", "127.0.0.1", "-P", std::to_string(port), "-u",
                                        signInUser(database), database.effectiveDatabaseName()},
                          .input = file,
                          .secrets = {database.password.value_or("")}};
  if (database.password && !database.password->empty()) command.environment["MYSQL_PWD"] = *database.password;
  return command;
}

std::vector<std::string> QSMySQLEngine::clientArguments(const QSDatabase& database, const fs::path&) const {
  // No option file of the system's may redirect the client (Debian's point it at a socket).
  return {"--no-defaults", "-h", database.host, "-P", std::to_string(database.port), "-u", signInUser(database),
          database.effectiveDatabaseName()};
}

}  // namespace qs

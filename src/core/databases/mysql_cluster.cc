// The shared MySQL (or MariaDB) server: mysql/data under the data folder, a child of its owner,
// on 127.0.0.1 with its socket in the (private) mysql folder, administered as `quayside` over
// that socket. Every call passes --no-defaults first, so no option file of the system or the
// user redirects its socket, data or logs.
#include "core/databases/database_service.h"

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

void QSDatabaseService::initializeMySQL() {
  fs::path marker = mysqlFolder() / ".quayside-initialized";
  if (fileExists(marker)) return;
  fs::path data = mysqlFolder() / "data";
  if (!fileExists(data)) {
    createDirectories(mysqlFolder(), 0700);
    fs::path installDB = binary(QSDatabaseType::mysql, "mariadb-install-db");
    if (fileExists(installDB)) {
      // MariaDB has no --initialize-insecure; its root logs in over the socket without a password.
      std::vector<std::string> arguments{"--no-defaults", "--datadir=" + data.string(),
                                         "--auth-root-authentication-method=normal", "--skip-test-db"};
      for (auto& a : userArguments()) arguments.push_back(a);
      runEngineTool(installDB, {.arguments = arguments});
    } else {
      std::vector<std::string> arguments{"--no-defaults", "--initialize-insecure", "--datadir=" + data.string()};
      for (auto& a : userArguments()) arguments.push_back(a);
      runEngineTool(binary(QSDatabaseType::mysql, "mysqld"), {.arguments = arguments});
    }
  }
  if (!isEngineRunning(QSDatabaseType::mysql)) startOnAFreePort(QSDatabaseType::mysql, clusterPort(QSDatabaseType::mysql));
  try {
    secureMySQL();
  } catch (const std::exception& e) {
    stopMySQL();
    throw QSDatabaseException(QSDatabaseError(databaseError::InitializationFailed{
        QSDatabaseType::mysql, std::string("Failed to create quayside user: ") + e.what()}));
  }
  // The server stays up: every initialisation is followed by a start, which then has nothing
  // to do (a stop and a second start would cost a MariaDB cluster's first use seconds).
  writeFileAtomically(marker, "", 0600);
}

void QSDatabaseService::startMySQL(int port) {
  if (isEngineRunning(QSDatabaseType::mysql)) return;
  fs::path server = binary(QSDatabaseType::mysql, "mysqld");
  if (!fileExists(server))
    throw QSDatabaseException(QSDatabaseError(databaseError::ServiceNotInstalled{QSDatabaseType::mysql}));
  fs::path log = mysqlFolder() / "mysql.log";
  // The socket tells when the server is ready, so an old one must not answer for it.
  tryRemoveFile(mysqlSocket());
  std::string logBefore = readFileIfPresent(log).value_or("");
  QSChildLaunch launch{.executable = server,
                       .arguments = {"--no-defaults", "--datadir=" + (mysqlFolder() / "data").string(),
                                     "--port=" + std::to_string(port), "--socket=" + mysqlSocket().string(),
                                     "--pid-file=" + (mysqlFolder() / "mysql.pid").string(),
                                     "--bind-address=127.0.0.1", "--log-error=" + log.string()},
                       .workingDirectory = mysqlFolder(),
                       .outputFile = log};
  for (auto& a : userArguments()) launch.arguments.push_back(a);
  auto process = QSChildProcess::spawn(launch);
  runningProcesses_[QSDatabaseType::mysql] = process;
  // The socket file appears a moment before the server listens on it; ping answers once it does
  // (mysqladmin ping succeeds for a live server whatever the user's access).
  auto answers = [&] {
    if (!fileExists(mysqlSocket())) return false;
    try {
      runEngineTool(binary(QSDatabaseType::mysql, "mysqladmin"),
                    {.arguments = {"--no-defaults", "-u", "root", "--socket=" + mysqlSocket().string(), "ping"}});
      return true;
    } catch (const std::exception&) {
      return false;
    }
  };
  bool ready = pollUntil([&] { return !process->isRunning() || answers(); }, kStartLimit);
  if (ready && process->isRunning()) return;
  endRecorded(QSDatabaseType::mysql, false);
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

void QSDatabaseService::stopMySQL() {
  auto adopted = adoptedProcess(QSDatabaseType::mysql);
  if (!isRecordedRunning(QSDatabaseType::mysql) && !adopted) {
    runningProcesses_.erase(QSDatabaseType::mysql);
    return;
  }
  bool shutDown = false;
  try {
    std::vector<std::string> arguments{"--no-defaults"};
    for (auto& a : account_.mysqlArguments()) arguments.push_back(std::move(a));
    arguments.push_back("shutdown");
    runEngineTool(binary(QSDatabaseType::mysql, "mysqladmin"),
                  {.arguments = arguments, .environment = account_.mysqlEnvironment()});
    shutDown = true;
  } catch (const std::exception&) {
    // Terminated below instead.
  }
  endRecorded(QSDatabaseType::mysql, !shutDown);
  // An adopted server is nobody's child here: it is watched through its id until it has gone.
  if (adopted) endProcesses({*adopted}, !shutDown);
}

void QSDatabaseService::secureMySQL() {
  if (account_.isSecured(QSDatabaseType::mysql) || !isEngineRunning(QSDatabaseType::mysql)) return;
  std::string secret = account_.ensurePassword(QSDatabaseType::mysql);
  // Root signs in without a password until this has run once, and with the service password
  // should an earlier run have stopped midway.
  auto asRoot = [&](const std::string& sql) {
    QSEngineToolRun run{.arguments = {"--no-defaults", "-u", "root", "--socket=" + mysqlSocket().string(), "-N", "-B", "-r"},
                        .input = sql,
                        .secrets = {secret}};
    try {
      return runEngineTool(binary(QSDatabaseType::mysql, "mysql"), run);
    } catch (const QSDatabaseException&) {
      run.environment["MYSQL_PWD"] = secret;
      return runEngineTool(binary(QSDatabaseType::mysql, "mysql"), run);
    }
  };
  asRoot(serviceAccountScript(secret, asRoot(kOpenAccountsQuery)));
  account_.markSecured(QSDatabaseType::mysql);
}

std::string QSDatabaseService::mysql(const std::string& sql, const std::vector<std::string>& secrets) {
  std::vector<std::string> arguments{"--no-defaults"};
  for (auto& a : account_.mysqlArguments()) arguments.push_back(std::move(a));
  for (const char* a : {"-N", "-B", "-r"}) arguments.push_back(a);
  auto environment = account_.mysqlEnvironment();
  std::vector<std::string> hidden = secrets;
  for (const auto& [key, value] : environment) hidden.push_back(value);
  return runEngineTool(binary(QSDatabaseType::mysql, "mysql"),
                       {.arguments = arguments, .input = sql, .environment = environment, .secrets = hidden});
}

void QSDatabaseService::applyMySQLCredentials(const QSDatabase& database,
                                              const std::optional<std::string>& previousUser) {
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

}  // namespace qs

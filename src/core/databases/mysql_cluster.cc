// The shared MySQL (or MariaDB) server: mysql/data under the data folder, a child of its owner,
// on 127.0.0.1 with its socket in the (private) mysql folder, administered as `quayside` over
// that socket. Every call passes --no-defaults first, so no option file of the system or the
// user redirects its socket, data or logs.
#include "core/databases/database_service.h"

#include "core/databases/database_error.h"
#include "core/databases/engine_tool.h"
#include "core/platform/child_process.h"
#include "core/platform/files.h"
#include "core/platform/proc_table.h"

#include <csignal>

namespace qs {
namespace fs = std::filesystem;
namespace {

constexpr auto kStartLimit = std::chrono::seconds(10);

const char* const kServiceUserScript =
    "CREATE USER IF NOT EXISTS 'quayside'@'localhost' IDENTIFIED BY '';\n"
    "GRANT ALL PRIVILEGES ON *.* TO 'quayside'@'localhost' WITH GRANT OPTION;\n"
    "FLUSH PRIVILEGES;";

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
  startMySQL(clusterPort(QSDatabaseType::mysql));
  try {
    mysql("root", kServiceUserScript);
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
  if (isRecordedRunning(QSDatabaseType::mysql)) return;
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
  if (!isRecordedRunning(QSDatabaseType::mysql)) {
    runningProcesses_.erase(QSDatabaseType::mysql);
    return;
  }
  bool shutDown = false;
  try {
    runEngineTool(binary(QSDatabaseType::mysql, "mysqladmin"),
                  {.arguments = {"--no-defaults", "-u", "quayside", "--socket=" + mysqlSocket().string(), "shutdown"}});
    shutDown = true;
  } catch (const std::exception&) {
    // Terminated below instead.
  }
  endRecorded(QSDatabaseType::mysql, !shutDown);
}

std::string QSDatabaseService::mysql(const std::string& user, const std::string& sql,
                                     const std::vector<std::string>& secrets) {
  return runEngineTool(binary(QSDatabaseType::mysql, "mysql"),
                       {.arguments = {"--no-defaults", "-u", user, "--socket=" + mysqlSocket().string(), "-N", "-B", "-r"},
                        .input = sql,
                        .secrets = secrets});
}

}  // namespace qs

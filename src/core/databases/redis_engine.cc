#include "core/databases/redis_engine.h"

#include "core/databases/database_error.h"
#include "core/databases/engine_tool.h"
#include "core/platform/child_process.h"
#include "core/platform/files.h"

#include <cctype>

namespace qs {
namespace fs = std::filesystem;
namespace {

// A value in Redis's configuration syntax: in double quotes, with backslashes and quotes escaped.
std::string configValue(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The project's name as an identifier: lower-case letters, digits and "_".
std::string loweredIdentifier(const std::string& base) {
  std::string out;
  for (unsigned char c : base) {
    char lower = static_cast<char>(std::tolower(c));
    out += (lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') ? lower : '_';
  }
  return out;
}

}  // namespace

bool QSRedisEngine::isInitialized() const { return isDirectory(folder()); }

void QSRedisEngine::initialize() { createDirectories(folder(), 0700); }

std::optional<std::int32_t> QSRedisEngine::adopted() const {
  if (!account_.isSecured(QSDatabaseType::redis)) return std::nullopt;
  return adoptedServer(folder() / "redis.pid", {"redis-server"});
}

std::vector<std::int32_t> QSRedisEngine::serverProcesses() const {
  std::vector<std::int32_t> pids;
  if (auto pid = server_.pid()) pids.push_back(*pid);
  if (auto pid = adopted()) pids.push_back(*pid);
  return pids;
}

void QSRedisEngine::start(int port) {
  if (server_.isRunning()) stop();
  // A server an earlier owner left running without a password is replaced, not adopted.
  if (auto pid = adopted()) endProcesses({*pid});
  fs::path server = binary("redis-server");
  if (!fileExists(server))
    throw QSDatabaseException(QSDatabaseError(databaseError::ServiceNotInstalled{QSDatabaseType::redis}));
  createDirectories(folder(), 0700);
  fs::path log = folder() / "redis.log";
  writeFileAtomically(log, "", 0600);
  fs::path config = folder() / "redis.conf";
  std::string settings = "port " + std::to_string(port) + "\nbind 127.0.0.1\ndir " + configValue(folder().string()) +
                         "\nlogfile " + configValue(log.string()) + "\nloglevel notice\ndaemonize no\npidfile " +
                         configValue((folder() / "redis.pid").string()) + "\nrequirepass " +
                         configValue(account_.ensurePassword(QSDatabaseType::redis)) + "\n";
  writeFileAtomically(config, settings, 0600);
  account_.markSecured(QSDatabaseType::redis);
  QSChildLaunch launch{.executable = server,
                       .arguments = {config.string()},
                       .workingDirectory = folder(),
                       .outputFile = folder() / "redis.out"};
  auto process = QSChildProcess::spawn(launch);
  server_.record(process);
  // Ready once it says so in its log; an exit first is a failed start.
  auto says = [&](const char* text) { return readFileIfPresent(log).value_or("").find(text) != std::string::npos; };
  bool settled = pollUntil([&] { return says("Ready to accept connections") || !process->isRunning(); },
                           std::chrono::seconds(10));
  if (settled && process->isRunning()) return;
  server_.end(true);
  if (!settled)
    throw QSDatabaseException(QSDatabaseError(
        databaseError::InitializationFailed{QSDatabaseType::redis, "Redis did not become ready within 10 seconds"}));
  std::string written = readFileIfPresent(log).value_or("");
  auto why = written.find("Address already in use") != std::string::npos
                 ? std::optional<std::string>("port " + std::to_string(port) + ": Address already in use")
                 : lastLogMessage(written, "#");
  throw QSDatabaseException(QSDatabaseError(
      databaseError::InitializationFailed{QSDatabaseType::redis, why.value_or("redis-server exited immediately")}));
}

void QSRedisEngine::stop() {
  auto pid = adopted();
  server_.end(true);
  if (pid) endProcesses({*pid});
}

bool QSRedisEngine::adopt(QSDatabase& record, const std::string& projectName) {
  if (status() != QSDatabaseStatus::running) return false;
  record.name = loweredIdentifier(projectName) + "_redis";
  record.port = context_.clusterPort();
  return true;
}

std::vector<QSEnvironmentVariable> QSRedisEngine::environment(const QSDatabase& database) const {
  return {QSEnvironmentVariable{.key = "REDIS_URL", .value = database.connectionString()}};
}

std::vector<std::string> QSRedisEngine::clientArguments(const QSDatabase& database, const fs::path&) const {
  return {"-h", database.host, "-p", std::to_string(database.port)};
}

}  // namespace qs

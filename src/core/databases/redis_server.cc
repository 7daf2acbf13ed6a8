// The shared Redis server: a child of its owner on 127.0.0.1, working in the redis folder. Its
// settings, the service password among them, go in a private configuration file rather than on
// the command line, which every local user can read.
#include "core/databases/database_service.h"

#include "core/databases/database_error.h"
#include "core/databases/engine_tool.h"
#include "core/platform/child_process.h"
#include "core/platform/files.h"

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

}  // namespace

void QSDatabaseService::initializeRedis() { createDirectories(redisFolder(), 0700); }

void QSDatabaseService::startRedis(int port) {
  if (isRecordedRunning(QSDatabaseType::redis)) stopRedis();
  // A server an earlier owner left running without a password is replaced, not adopted.
  if (auto adopted = adoptedProcess(QSDatabaseType::redis)) endProcesses({*adopted});
  fs::path server = binary(QSDatabaseType::redis, "redis-server");
  if (!fileExists(server))
    throw QSDatabaseException(QSDatabaseError(databaseError::ServiceNotInstalled{QSDatabaseType::redis}));
  createDirectories(redisFolder(), 0700);
  fs::path log = redisFolder() / "redis.log";
  writeFileAtomically(log, "", 0600);
  fs::path config = redisFolder() / "redis.conf";
  std::string settings = "port " + std::to_string(port) + "\nbind 127.0.0.1\ndir " + configValue(redisFolder().string()) +
                         "\nlogfile " + configValue(log.string()) + "\nloglevel notice\ndaemonize no\npidfile " +
                         configValue((redisFolder() / "redis.pid").string()) + "\nrequirepass " +
                         configValue(account_.ensurePassword(QSDatabaseType::redis)) + "\n";
  writeFileAtomically(config, settings, 0600);
  account_.markSecured(QSDatabaseType::redis);
  QSChildLaunch launch{.executable = server,
                       .arguments = {config.string()},
                       .workingDirectory = redisFolder(),
                       .outputFile = redisFolder() / "redis.out"};
  auto process = QSChildProcess::spawn(launch);
  runningProcesses_[QSDatabaseType::redis] = process;
  // Ready once it says so in its log; an exit first is a failed start.
  auto says = [&](const char* text) { return readFileIfPresent(log).value_or("").find(text) != std::string::npos; };
  bool settled = pollUntil([&] { return says("Ready to accept connections") || !process->isRunning(); },
                           std::chrono::seconds(10));
  if (settled && process->isRunning()) return;
  endRecorded(QSDatabaseType::redis, true);
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

void QSDatabaseService::stopRedis() {
  auto adopted = adoptedProcess(QSDatabaseType::redis);
  endRecorded(QSDatabaseType::redis, true);
  if (adopted) endProcesses({*adopted});
}

}  // namespace qs

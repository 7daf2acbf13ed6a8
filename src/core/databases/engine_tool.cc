#include "core/databases/engine_tool.h"

#include "core/databases/database_error.h"
#include "core/platform/file_status.h"
#include "core/platform/process_runner.h"
#include "core/platform/text.h"

namespace qs {
namespace {

// Client settings a user may have exported for their own work; Quayside's tools always say
// where to connect explicitly, and a stray password would be sent where it does not belong.
const std::vector<std::string> kClientVariables = {
    "PGHOST", "PGHOSTADDR", "PGPORT", "PGUSER", "PGPASSWORD", "PGDATABASE", "PGPASSFILE", "PGSERVICE",
    "PGSERVICEFILE", "PGOPTIONS", "PGSSLMODE", "PGDATA", "MYSQL_HOST", "MYSQL_TCP_PORT", "MYSQL_UNIX_PORT",
    "MYSQL_PWD", "MYSQL_HISTFILE", "REDISCLI_AUTH", "REDISCLI_HISTFILE"};

QSDatabaseType typeOfTool(const std::string& name) {
  if (name.starts_with("mysql") || name.starts_with("mariadb")) return QSDatabaseType::mysql;
  if (name.starts_with("redis")) return QSDatabaseType::redis;
  if (name == "sqlite3") return QSDatabaseType::sqlite;
  return QSDatabaseType::postgresql;
}

}  // namespace

std::optional<std::string> firstErrorLine(std::string_view errorOutput) {
  std::optional<std::string> firstNonEmpty;
  std::size_t start = 0;
  while (start <= errorOutput.size()) {
    auto end = errorOutput.find('\n', start);
    if (end == std::string_view::npos) end = errorOutput.size();
    std::string line = std::string(trimmed(errorOutput.substr(start, end - start), " \t\r"));
    if (line.find("ERROR:") != std::string::npos) return line;
    if (!line.empty() && !firstNonEmpty) firstNonEmpty = line;
    start = end + 1;
  }
  return firstNonEmpty;
}

std::string redacted(std::string text, const std::vector<std::string>& secrets) {
  for (const auto& secret : secrets) {
    if (secret.empty()) continue;
    for (auto at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 6))
      text.replace(at, secret.size(), "******");
  }
  return text;
}

const std::vector<std::string>& engineClientVariables() { return kClientVariables; }

std::string runEngineTool(const std::filesystem::path& tool, const QSEngineToolRun& run) {
  std::string name = tool.filename().string();
  if (!isExecutableFile(tool))
    throw QSDatabaseException(QSDatabaseError(databaseError::ServiceNotInstalled{typeOfTool(name)}));
  std::vector<std::string> arguments{tool.string()};
  arguments.insert(arguments.end(), run.arguments.begin(), run.arguments.end());
  QSProcessOptions options;
  options.environment = run.environment;
  for (const auto& variable : kClientVariables)
    if (!run.environment.contains(variable)) options.unsetEnvironment.push_back(variable);
  options.input = run.input.value_or("");
  QSProcessResult result = runProcess(arguments, options);
  if (result.succeeded()) return result.output;
  auto detail = firstErrorLine(result.errorOutput);
  if (!detail) detail = firstErrorLine(result.output);
  if (detail) detail = redacted(*detail, run.secrets);
  throw QSDatabaseException(QSDatabaseError(databaseError::CommandFailed{name, result.exitStatus, detail}));
}

}  // namespace qs

#include "core/platform/child_process.h"
#include "core/platform/proc_table.h"

#include <algorithm>
#include <csignal>
#include <thread>

namespace qs {

bool pollUntil(const std::function<bool()>& done, std::chrono::milliseconds limit, std::chrono::milliseconds interval) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(interval);
  }
}

void endProcesses(const std::vector<std::int32_t>& pids, bool politely) {
  std::vector<UniqueFd> handles;
  for (auto pid : pids) {
    auto handle = openProcessHandle(pid);
    if (!handle) continue;
    if (politely) signalProcessHandle(handle, SIGTERM);
    handles.push_back(std::move(handle));
  }
  auto allEnded = [&] { return std::all_of(pids.begin(), pids.end(), processHasEnded); };
  if (pollUntil(allEnded, std::chrono::seconds(30))) return;
  for (const auto& handle : handles) signalProcessHandle(handle, SIGKILL);
  pollUntil(allEnded, std::chrono::seconds(10));
}

std::optional<std::string> lastLogMessage(std::string_view log, std::string_view marker) {
  std::optional<std::string> found;
  std::size_t start = 0;
  while (start < log.size()) {
    auto end = log.find('\n', start);
    if (end == std::string_view::npos) end = log.size();
    auto line = log.substr(start, end - start);
    if (auto at = line.find(marker); at != std::string_view::npos) {
      auto rest = line.substr(at + marker.size());
      auto first = rest.find_first_not_of(" \t");
      auto last = rest.find_last_not_of(" \t\r");
      found = first == std::string_view::npos ? std::string() : std::string(rest.substr(first, last - first + 1));
    }
    start = end + 1;
  }
  return found;
}

}  // namespace qs

// Running one engine tool (psql, mysql, pg_ctl, …) to completion: by absolute path with an
// argument list, never through a shell.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

struct QSEngineToolRun {
  std::vector<std::string> arguments;
  // Written to the tool's standard input: SQL goes this way, so that passwords in it never
  // appear in an argument list (which every user of the machine can read).
  std::optional<std::string> input;
  // Set in the tool's environment only (PGPASSWORD, MYSQL_PWD).
  std::map<std::string, std::string> environment;
  // Texts removed from any error this run reports (the passwords it carries).
  std::vector<std::string> secrets;
};

// Runs `tool` and returns its standard output. A tool that cannot be found throws
// QSDatabaseException(serviceNotInstalled) for the engine named after it; a tool that exits
// non-zero throws commandFailed with its name, status and first error line. Blocks the caller.
// Variables of this process that would point the tool elsewhere (PGHOST, MYSQL_HOST, …) are
// not passed on.
std::string runEngineTool(const std::filesystem::path& tool, const QSEngineToolRun& run);

// The line of `errorOutput` worth showing: the first (trimmed) that contains "ERROR:", else the
// first non-empty one, else nothing.
std::optional<std::string> firstErrorLine(std::string_view errorOutput);

// `text` with every occurrence of each non-empty secret replaced by "******".
std::string redacted(std::string text, const std::vector<std::string>& secrets);

// Client settings a user may have exported (PGHOST, MYSQL_PWD, …) that would point an engine
// tool elsewhere; runEngineTool never passes them on, nor should any other run of a client.
const std::vector<std::string>& engineClientVariables();

}  // namespace qs

#include <chrono>
#include <cstdint>
#include <functional>

namespace qs {

// Checks `done` every `interval` until it answers true (true) or `limit` has passed (false).
// Blocks the caller: engines tell of readiness only through files and sockets.
bool pollUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
               std::chrono::milliseconds interval = std::chrono::milliseconds(50));

// Ends each process (SIGTERM first when `politely`, then SIGKILL after 30 seconds) and returns
// once all have ended, so that the ports and files they held are free. Blocks the caller.
void endProcesses(const std::vector<std::int32_t>& pids, bool politely = true);

// The text after `marker` on the last line of `log` that holds it, trimmed; nothing when no
// line does.
std::optional<std::string> lastLogMessage(std::string_view log, std::string_view marker);

}  // namespace qs

// How `qs` prints: human text by default (aligned tables, labelled details), JSON with --json.
//
// JSON output is the records' own coding with timestamps as ISO 8601 text
// ("2026-12-06T09:45:20.123Z") rather than the wire's seconds since 2001, the same everywhere
// (records, lists, the status and `qs events` lines). Everything else is the wire's shape.
#pragma once

#include "core/models/environment_variable.h"
#include "core/models/json_coding.h"
#include "core/models/project.h"
#include "core/models/server.h"
#include "core/models/toolchain.h"
#include "core/protocol/status.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qs {

// The columns a table or a line printed on standard output may take: the terminal's width, or
// nothing (no limit) when standard output is not a terminal.
std::optional<std::size_t> standardOutputWidth();

// A plain-text table: a header row, then rows; columns are padded to their widest cell and
// separated by two spaces; the last column is not padded, so no line has trailing blanks.
class QSTextTable {
public:
  explicit QSTextTable(std::vector<std::string> headers);
  // A row with fewer cells than headers is completed with empty ones.
  void addRow(std::vector<std::string> cells);
  bool empty() const { return rows_.empty(); }
  // Every line (the header included) starts with `indent` and ends with "\n". Given a `width`,
  // lines wider than it are brought within it by narrowing the widest columns (never below
  // their header), the cells that no longer fit cut and ending in "…".
  std::string render(std::string_view indent = "", std::optional<std::size_t> width = std::nullopt) const;

private:
  std::vector<std::size_t> columnWidths(std::size_t indent, std::optional<std::size_t> width) const;

  std::vector<std::string> headers_;
  std::vector<std::vector<std::string>> rows_;
};

// Lines of "Label:  value", the values aligned after the longest label (or `labelWidth`
// characters, when that is more) and `gap` spaces after its colon.
class QSDetails {
public:
  explicit QSDetails(std::size_t labelWidth = 0, std::size_t gap = 2) : labelWidth_(labelWidth), gap_(gap) {}
  void add(std::string label, std::string value) { lines_.emplace_back(std::move(label), std::move(value)); }
  // Every line starts with `indent` and ends with "\n".
  std::string render(std::string_view indent = "") const;

private:
  std::size_t labelWidth_;
  std::size_t gap_;
  std::vector<std::pair<std::string, std::string>> lines_;
};

// The number of columns `text` takes (UTF-8 code points; each counts as one).
std::size_t displayWidth(std::string_view text);

// The first `width` characters of `text` (whole UTF-8 code points).
std::string truncateToWidth(std::string_view text, std::size_t width);

// The coder of every JSON output: the records' shapes, ISO 8601 timestamps.
QSCoder outputCoder();
// Every JSON that `qs` prints goes through here: indented, or on one line for streams, and
// ending with a newline. Bytes that are not UTF-8 (a path taken from the environment, a file
// name in another encoding) come out as U+FFFD instead of ending the program.
std::string printableJSON(const nlohmann::json& value, bool indented = true);
// `value` as indented JSON text, ending with a newline.
template <class T>
std::string jsonText(const T& value) {
  return printableJSON(toJson(value, outputCoder()));
}
// `value` as one line of JSON text, ending with a newline.
template <class T>
std::string jsonLine(const T& value) {
  return printableJSON(toJson(value, outputCoder()), false);
}

// "2026-12-06 09:45:20 UTC".
std::string formatDate(QSTimestamp time);
// "http://127.0.0.1:8080"
std::string localURL(int port);
// One phrase for a server's state: "running on http://127.0.0.1:8080 (pid 4242)", "building",
// "stopped", "error: Process exited with code 3", …
std::string describeServer(const QSServer& server);

// The tables below fit their lines within `width` columns when one is given (see QSTextTable).

// The project table of `qs projects`, or a hint how to add one when there are none.
std::string formatProjectList(const std::vector<QSProject>& projects, std::optional<std::size_t> width = std::nullopt);
// The labelled details of `qs info` (and of `qs add`, `qs new`, `qs rename`).
std::string formatProjectDetails(const QSProject& project, const std::optional<QSServer>& server);
// One row per project with its server's state, port, start time and error (`qs servers`).
// A project without a server record counts as stopped.
std::string formatServerList(const std::vector<QSProject>& projects, const std::vector<QSServer>& servers,
                             std::optional<std::size_t> width = std::nullopt);
// KEY=value lines, disabled variables commented out with "# ".
std::string formatEnvironment(const std::vector<QSEnvironmentVariable>& variables);
// The overview of `qs status`: projects with their servers, databases, network services.
std::string formatStatus(const QSFullStatus& status, std::optional<std::size_t> width = std::nullopt);
// The mail catcher's line of `qs status`: "Mail: catching on smtp://127.0.0.1:1025 · 3 messages".
std::string formatMailStatus(const QSMailStatus& mail);
// The table of `qs toolchains`.
std::string formatToolchains(const std::vector<QSToolchain>& toolchains,
                             std::optional<std::size_t> width = std::nullopt);

// The server of `projectID` in `servers`, or a stopped record on `port` when there is none.
QSServer serverFor(const QSUUID& projectID, int port, const std::vector<QSServer>& servers);

}  // namespace qs

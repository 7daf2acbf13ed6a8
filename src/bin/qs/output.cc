#include "bin/qs/output.h"
#include "bin/qs/routing_output.h"

#include "core/models/database.h"
#include "core/platform/terminal.h"

#include <fmt/format.h>

#include <unistd.h>

#include <algorithm>

namespace qs {
namespace {

std::string yesNo(bool value) { return value ? "yes" : "no"; }

std::string runningText(bool running) { return running ? "running" : "stopped"; }

std::string pinText(const QSProject& project) {
  return project.swiftVersion ? *project.swiftVersion + " (pinned)" : "default toolchain";
}

std::string domainText(const QSProject& project) {
  if (!project.domain) return "none";
  return project.domain->hostname + (project.domain->sslEnabled ? " (HTTPS)" : "");
}

std::string optionalID(const std::optional<QSUUID>& id) { return id ? id->string() : "none"; }

}  // namespace

QSTextTable::QSTextTable(std::vector<std::string> headers) : headers_(std::move(headers)) {}

void QSTextTable::addRow(std::vector<std::string> cells) {
  cells.resize(std::max(cells.size(), headers_.size()));
  rows_.push_back(std::move(cells));
}

std::vector<std::size_t> QSTextTable::columnWidths(std::size_t indent, std::optional<std::size_t> width) const {
  std::vector<std::size_t> widths(headers_.size(), 0);
  auto measure = [&](const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < widths.size(); ++i) widths[i] = std::max(widths[i], displayWidth(cells[i]));
  };
  measure(headers_);
  for (const auto& row : rows_) measure(row);
  if (!width || widths.empty()) return widths;

  std::size_t total = indent + 2 * (widths.size() - 1);
  for (auto w : widths) total += w;
  // A character at a time from the widest column, so that one long cell (a start error, a deep
  // path) gives up its room before the short ones are touched.
  while (total > *width) {
    std::size_t widest = widths.size();
    for (std::size_t i = 0; i < widths.size(); ++i)
      if (widths[i] > displayWidth(headers_[i]) && (widest == widths.size() || widths[i] > widths[widest])) widest = i;
    if (widest == widths.size()) break;  // every column is down to its header
    --widths[widest];
    --total;
  }
  return widths;
}

std::string QSTextTable::render(std::string_view indent, std::optional<std::size_t> width) const {
  std::vector<std::size_t> widths = columnWidths(displayWidth(indent), width);
  auto fitted = [&](const std::string& cell, std::size_t room) {
    if (displayWidth(cell) <= room) return cell;
    return room == 0 ? std::string() : truncateToWidth(cell, room - 1) + "\u2026";
  };

  auto line = [&](const std::vector<std::string>& cells) {
    std::string out(indent);
    for (std::size_t i = 0; i < widths.size(); ++i) {
      std::string cell = fitted(cells[i], widths[i]);
      out += cell;
      if (i + 1 == widths.size()) break;
      out += std::string(widths[i] - displayWidth(cell) + 2, ' ');
    }
    // An empty last cell would leave the separator behind.
    while (out.size() > indent.size() && out.back() == ' ') out.pop_back();
    return out + "\n";
  };
  std::string out = line(headers_);
  for (const auto& row : rows_) out += line(row);
  return out;
}

std::string QSDetails::render(std::string_view indent) const {
  std::size_t width = labelWidth_;
  for (const auto& line : lines_) width = std::max(width, displayWidth(line.first));
  std::string out;
  for (const auto& [label, value] : lines_)
    out += fmt::format("{}{}:{}{}\n", indent, label, std::string(width - displayWidth(label) + gap_, ' '), value);
  return out;
}

std::optional<std::size_t> standardOutputWidth() {
  if (auto columns = terminalColumns(STDOUT_FILENO)) return static_cast<std::size_t>(*columns);
  return std::nullopt;
}

std::size_t displayWidth(std::string_view text) {
  // Continuation bytes (10xxxxxx) do not start a character.
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string truncateToWidth(std::string_view text, std::size_t width) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters++ == width) return std::string(text.substr(0, i));
  }
  return std::string(text);
}

QSCoder outputCoder() { return QSCoder::stateFile(); }

std::string formatDate(QSTimestamp time) {
  std::string iso = QSTime::iso8601(time);  // 2026-12-06T09:45:20.123Z
  return iso.substr(0, 10) + " " + iso.substr(11, 8) + " UTC";
}

std::string localURL(int port) { return fmt::format("http://127.0.0.1:{}", port); }

std::string describeServer(const QSServer& server) {
  switch (server.status) {
    case QSServerStatus::running: {
      std::string text = "running on " + localURL(server.port);
      if (server.pid) text += fmt::format(" (pid {})", *server.pid);
      if (server.activity) text += ", " + *server.activity;
      if (server.errorMessage) text += " (" + *server.errorMessage + ")";
      return text;
    }
    case QSServerStatus::error:
      return "error: " + server.errorMessage.value_or("unknown");
    default:
      return std::string(rawValue(server.status));
  }
}

QSServer serverFor(const QSUUID& projectID, int port, const std::vector<QSServer>& servers) {
  for (const auto& server : servers)
    if (server.id == projectID) return server;
  return QSServer{projectID, QSServerStatus::stopped, port, std::nullopt, std::nullopt, std::nullopt};
}

std::string formatProjectList(const std::vector<QSProject>& projects, std::optional<std::size_t> width) {
  if (projects.empty()) return "No projects yet. Add one with 'qs add PATH' or create one with 'qs new NAME'.\n";
  QSTextTable table({"NAME", "PORT", "ID", "PATH"});
  for (const auto& p : projects) table.addRow({p.name, std::to_string(p.port), p.id.string(), p.path.string()});
  return table.render("", width);
}

std::string formatProjectDetails(const QSProject& project, const std::optional<QSServer>& server) {
  QSDetails details;
  details.add("ID", project.id.string());
  details.add("Path", project.path.string());
  details.add("Port", std::to_string(project.port));
  if (server) details.add("Server", describeServer(*server));
  details.add("Swift", pinText(project));
  details.add("Domain", domainText(project));
  details.add("Database", optionalID(project.databaseID));
  details.add("Redis", optionalID(project.redisID));
  details.add("Variables", std::to_string(project.environmentVariables.size()));
  details.add("Start at login", yesNo(project.runsServerAtLogin()));
  details.add("Watch", project.watchesSources() ? "on (saved changes rebuild and restart the server)" : "off");
  details.add("Created", formatDate(project.createdAt));
  if (project.lastOpenedAt) details.add("Last opened", formatDate(*project.lastOpenedAt));
  return project.name + "\n" + details.render("  ");
}

std::string formatServerList(const std::vector<QSProject>& projects, const std::vector<QSServer>& servers,
                             std::optional<std::size_t> width) {
  if (projects.empty()) return "No projects yet. Add one with 'qs add PATH' or create one with 'qs new NAME'.\n";
  // No pid column: the engine keeps server records without one.
  QSTextTable table({"PROJECT", "STATUS", "PORT", "STARTED", "MESSAGE"});
  for (const auto& p : projects) {
    QSServer s = serverFor(p.id, p.port, servers);
    std::string state(rawValue(s.status));
    if (s.activity) state += ", " + *s.activity;
    table.addRow({p.name, state, std::to_string(s.port),
                  s.startedAt ? formatDate(*s.startedAt) : "", s.errorMessage.value_or("")});
  }
  return table.render("", width);
}

std::string formatEnvironment(const std::vector<QSEnvironmentVariable>& variables) {
  std::string out;
  for (const auto& v : variables) out += (v.isEnabled ? "" : "# ") + v.key + "=" + v.value + "\n";
  return out;
}

std::string formatStatus(const QSFullStatus& status, std::optional<std::size_t> width) {
  std::string out = "Quayside daemon " + status.daemonVersion + "\n\n";
  if (status.stateLoadWarning) out += "Warning: " + *status.stateLoadWarning + "\n\n";
  if (status.projects.empty()) {
    out += "No projects yet.\n";
  } else {
    QSTextTable projects({"PROJECT", "SERVER", "PORT", "WATCH", "PATH"});
    for (const auto& p : status.projects) {
      QSServer s = serverFor(p.id, p.port, status.servers);
      std::string state = s.status == QSServerStatus::error ? describeServer(s) : std::string(rawValue(s.status));
      // Watch mode builds beside the running server: both facts show.
      if (s.activity) state += ", " + *s.activity;
      projects.addRow({p.name, state, std::to_string(s.port), p.watchesSources() ? "on" : "off", p.path.string()});
    }
    out += projects.render("", width);
  }
  out += "\n";
  if (status.databases.empty()) {
    out += "No databases.\n";
  } else {
    QSTextTable databases({"DATABASE", "TYPE", "PORT", "STATUS"});
    for (const auto& d : status.databases)
      databases.addRow({d.name, std::string(displayName(d.type)), std::to_string(d.port),
                        std::string(rawValue(d.status))});
    out += databases.render("", width);
  }
  const auto& n = status.network;
  out += fmt::format("\nDNS: {} (port {}) · proxy: {}{} · .test routing: {}{}\n", runningText(n.dnsRunning),
                     n.dnsPort, runningText(n.proxyRunning), n.proxyTLSRunning ? " (with HTTPS)" : "",
                     n.testRoutingEnabled ? "on" : "off", n.testRoutingPortConflict ? " (port conflict)" : "");
  out += formatNetworkDetails(n);
  if (status.mail) out += formatMailStatus(*status.mail);
  return out;
}

std::string formatMailStatus(const QSMailStatus& mail) {
  std::string messages = fmt::format("{} message{}", mail.messageCount, mail.messageCount == 1 ? "" : "s");
  if (!mail.enabled) return fmt::format("Mail: off (qs.mailEnabled is false) · {}\n", messages);
  if (mail.running) return fmt::format("Mail: catching on smtp://127.0.0.1:{} · {}\n", mail.port, messages);
  return fmt::format("Mail: not running (port {}){} · {}\n", mail.port,
                     mail.startError ? ": " + *mail.startError : std::string(), messages);
}

std::string formatToolchains(const std::vector<QSToolchain>& toolchains, std::optional<std::size_t> width) {
  if (toolchains.empty())
    return "No Swift toolchains found. Install one with swiftly, put one under /opt/swift, or list a folder of "
           "toolchains in QS_TOOLCHAIN_DIRS.\n";
  // Where each was found tells a user why a daemon started by systemd sees fewer than a shell.
  QSTextTable table({"TOOLCHAIN", "ID", "PATH", "FOUND IN"});
  for (const auto& t : toolchains) table.addRow({t.displayName(), t.id, t.path.string(), t.source.value_or("")});
  return table.render("", width);
}

std::string printableJSON(const nlohmann::json& value, bool indented) {
  return value.dump(indented ? 2 : -1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace qs

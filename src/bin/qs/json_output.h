// The shapes of the JSON that `qs` prints beyond the records themselves: each is a struct whose
// fields are listed once, written through the records' own writer (QSObjectWriter) and printed
// with jsonText or jsonLine like every record.
#pragma once

#include "core/models/json_coding.h"
#include "core/models/port_availability.h"
#include "core/models/project.h"
#include "core/platform/settings.h"
#include "core/protocol/status.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

// A struct printed as JSON: it names itself and lists its fields for a writer.
template <class T>
concept QSOutputRecord = requires(const T& value, QSObjectWriter& writer) {
  { T::outputName } -> std::convertible_to<std::string_view>;
  T::fields(value, writer);
};

// A value that is written as null when absent (where an absent optional leaves its key out).
template <class T>
struct QSOrNull {
  std::optional<T> value;
};

template <class T>
void encodeJson(json& out, const QSOrNull<T>& value, const QSCoder& coder) {
  if (value.value)
    encodeJson(out, *value.value, coder);
  else
    out = nullptr;
}

// A setting's value as JSON: true, 3, 0.5 or "text".
struct QSSettingValueOutput {
  QSSettingValue value;
};
void encodeJson(json& out, const QSSettingValueOutput& value, const QSCoder& coder);

namespace output {

// Found by argument-dependent lookup from the writer's templates, so it lives beside the shapes.
template <QSOutputRecord T>
void encodeJson(json& out, const T& value, const QSCoder& coder) {
  QSObjectWriter writer(out, coder);
  T::fields(value, writer);
}

// `qs daemon status`: the socket and, when one answers, who serves it and with which build.
struct DaemonStatus {
  static constexpr std::string_view outputName = "daemon status";
  bool running = false;
  std::string socket;
  std::optional<std::string> owner;  // "quayside-app" when the desktop app holds the services
  std::optional<int> ownerPid;
  std::optional<std::string> version;
  std::optional<std::string> build;
  std::optional<std::string> executable;
  std::optional<bool> isCurrentBuild;
  static void fields(const DaemonStatus& s, QSObjectWriter& f) {
    f.field("running", s.running).field("socket", s.socket).field("owner", s.owner).field("ownerPid", s.ownerPid);
    f.field("version", s.version).field("build", s.build).field("executable", s.executable);
    f.field("isCurrentBuild", s.isCurrentBuild);
  }
};

// `qs daemon ping`.
struct Pong {
  static constexpr std::string_view outputName = "pong";
  std::string version;
  std::string build;
  std::string owner;  // "quaysided" or "quayside-app"
  std::optional<int> ownerPid;
  static void fields(const Pong& s, QSObjectWriter& f) {
    f.field("version", s.version).field("build", s.build).field("owner", s.owner).field("ownerPid", s.ownerPid);
  }
};

// `qs daemon install`: the links made and whether their folder is on PATH.
struct Installed {
  static constexpr std::string_view outputName = "installed";
  std::string cliPath;
  std::string aliasPath;
  std::string daemonPath;
  bool autoStart = false;
  bool onPath = false;
  std::optional<std::string> desktopEntry;
  static void fields(const Installed& s, QSObjectWriter& f) {
    f.field("cliPath", s.cliPath).field("aliasPath", s.aliasPath).field("daemonPath", s.daemonPath);
    f.field("autoStart", s.autoStart).field("onPath", s.onPath).field("desktopEntry", s.desktopEntry);
  }
};

// One database snapshot of `qs db backup` and `qs db backups`.
struct Snapshot {
  static constexpr std::string_view outputName = "snapshot";
  std::string path;
  QSTimestamp createdAt;
  std::int64_t sizeBytes = 0;
  static void fields(const Snapshot& s, QSObjectWriter& f) {
    f.field("path", s.path).field("createdAt", s.createdAt).field("sizeBytes", s.sizeBytes);
  }
};

// One attachment of `qs mail attachments`.
struct Attachment {
  static constexpr std::string_view outputName = "attachment";
  std::string filename;
  std::string contentType;
  std::int64_t sizeBytes = 0;
  static void fields(const Attachment& s, QSObjectWriter& f) {
    f.field("filename", s.filename).field("contentType", s.contentType).field("sizeBytes", s.sizeBytes);
  }
};

// One project's domain in `qs domains`.
struct Domain {
  static constexpr std::string_view outputName = "domain";
  std::string project;
  std::string projectID;
  std::string hostname;
  bool https = false;
  std::vector<std::string> urls;
  static void fields(const Domain& s, QSObjectWriter& f) {
    f.field("project", s.project).field("projectID", s.projectID).field("hostname", s.hostname);
    f.field("https", s.https).field("urls", s.urls);
  }
};

// A project's on/off setting as `qs autostart` and `qs watch` set it: {"project": …, KEY: on}.
struct ProjectSwitch {
  static constexpr std::string_view outputName = "project switch";
  std::string project;
  const char* key = "";
  bool on = false;
  static void fields(const ProjectSwitch& s, QSObjectWriter& f) { f.field("project", s.project).field(s.key, s.on); }
};

// `qs ca trust` and `qs ca untrust`.
struct CATrust {
  static constexpr std::string_view outputName = "certificate authority";
  bool caTrusted = false;
  std::optional<bool> replaced;  // with trust: whether an older authority was replaced
  static void fields(const CATrust& s, QSObjectWriter& f) {
    f.field("caTrusted", s.caTrusted).field("replaced", s.replaced);
  }
};

// `qs ports stop`: the process asked to stop.
struct StoppedProcess {
  static constexpr std::string_view outputName = "stopped process";
  int pid = 0;
  std::string name;
  bool asRoot = false;
  static void fields(const StoppedProcess& s, QSObjectWriter& f) {
    f.field("pid", s.pid).field("name", s.name).field("asRoot", s.asRoot);
  }
};

// One setting of `qs settings list` and `qs settings get`; `default` is null for none.
struct Setting {
  static constexpr std::string_view outputName = "setting";
  std::string key;
  std::string type;
  QSSettingValueOutput value;
  bool isSet = false;
  std::string meaning;
  QSOrNull<QSSettingValueOutput> defaultValue;
  static void fields(const Setting& s, QSObjectWriter& f) {
    f.field("key", s.key).field("type", s.type).field("value", s.value).field("isSet", s.isSet);
    f.field("meaning", s.meaning).field("default", s.defaultValue);
  }
};

// `qs settings export FILE`.
struct SettingsExported {
  static constexpr std::string_view outputName = "settings exported";
  std::string file;
  int exported = 0;
  static void fields(const SettingsExported& s, QSObjectWriter& f) {
    f.field("file", s.file).field("exported", s.exported);
  }
};

// `qs settings import FILE`.
struct SettingsImported {
  static constexpr std::string_view outputName = "settings imported";
  int imported = 0;
  static void fields(const SettingsImported& s, QSObjectWriter& f) { f.field("imported", s.imported); }
};

// `qs site import`: the project added and what the export wrote.
struct SiteImported {
  static constexpr std::string_view outputName = "site imported";
  QSProject project;
  std::int64_t files = 0;
  bool hasForms = false;
  bool gitRepository = false;
  static void fields(const SiteImported& s, QSObjectWriter& f) {
    f.field("project", s.project).field("files", s.files).field("hasForms", s.hasForms);
    f.field("gitRepository", s.gitRepository);
  }
};

// `qs uninstall`: the daemon's stop, each step, and whether everything succeeded.
struct UninstallStep {
  static constexpr std::string_view outputName = "uninstall step";
  std::string step;
  bool succeeded = false;
  std::optional<std::string> detail;
  static void fields(const UninstallStep& s, QSObjectWriter& f) {
    f.field("step", s.step).field("succeeded", s.succeeded).field("detail", s.detail);
  }
};
struct UninstallDaemon {
  static constexpr std::string_view outputName = "uninstall daemon";
  bool wasRunning = false;
  bool stopped = true;
  std::optional<std::int32_t> pid;
  std::optional<std::string> detail;
  static void fields(const UninstallDaemon& s, QSObjectWriter& f) {
    f.field("wasRunning", s.wasRunning).field("stopped", s.stopped).field("pid", s.pid).field("detail", s.detail);
  }
};
struct Uninstalled {
  static constexpr std::string_view outputName = "uninstalled";
  UninstallDaemon daemon;
  std::vector<UninstallStep> steps;
  bool succeeded = false;
  static void fields(const Uninstalled& s, QSObjectWriter& f) {
    f.field("daemon", s.daemon).field("steps", s.steps).field("succeeded", s.succeeded);
  }
};

// A process listening on port 80 or 443, and which of the two.
struct PortListener {
  static constexpr std::string_view outputName = "port listener";
  ListeningProcess process;
  std::vector<int> ports;
  static void fields(const PortListener& s, QSObjectWriter& f) {
    f.field("process", s.process).field("ports", s.ports);
  }
};
// What holds the web ports, with the texts the app shows about it.
struct WebPortConflict {
  static constexpr std::string_view outputName = "web port conflict";
  std::vector<PortListener> listeners;
  bool isLikelyHerd = false;
  std::string title;
  std::string warningMessage;
  std::string shortWarning;
  static void fields(const WebPortConflict& s, QSObjectWriter& f) {
    f.field("listeners", s.listeners).field("isLikelyHerd", s.isLikelyHerd).field("title", s.title);
    f.field("warningMessage", s.warningMessage).field("shortWarning", s.shortWarning);
  }
};
// `qs routing status`: the network status with the web-port conflict (null for none) beside it.
struct TestRouting {
  static constexpr std::string_view outputName = "test routing";
  QSNetworkStatus network;
  QSOrNull<WebPortConflict> webPortConflict;
  static void fields(const TestRouting& s, QSObjectWriter& f) {
    QSNetworkStatus::fields(s.network, f);
    f.field("webPortConflict", s.webPortConflict);
  }
};

// One line of `qs publish --json`: {"event": "phase" | "log" | "note", …}.
struct PublishEvent {
  static constexpr std::string_view outputName = "publish event";
  std::string event;
  std::optional<std::string> phase;
  std::optional<std::string> label;
  std::optional<std::string> detail;
  std::optional<QSTimestamp> startedAt;
  std::optional<std::string> url;
  std::optional<std::string> message;
  std::optional<std::string> failedDuring;
  std::optional<std::string> line;
  std::optional<std::string> text;
  static void fields(const PublishEvent& s, QSObjectWriter& f) {
    f.field("event", s.event).field("phase", s.phase).field("label", s.label).field("detail", s.detail);
    f.field("startedAt", s.startedAt).field("url", s.url).field("message", s.message);
    f.field("failedDuring", s.failedDuring).field("line", s.line).field("text", s.text);
  }
};

}  // namespace output
}  // namespace qs

// The commands a client sends to the daemon. Parameter names are the JSON keys.
#pragma once

#include "core/models/database.h"
#include "core/models/project.h"
#include "core/models/case_coding.h"
#include "core/protocol/event.h"
#include "core/models/project_scaffold_options.h"

#include <optional>
#include <string>

namespace qs {

// Cases of QSDaemonCommand.
namespace cmd {
using ListProjects = QSEmptyCase<"listProjects">;
using GetProject = QSIdentifiedCase<"getProject", "id">;
struct AddProject {
  static constexpr std::string_view caseName = "addProject";
  std::string path;  // the project folder
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("path", self.path);
  }
  bool operator==(const AddProject&) const = default;
};
using CreateProject = QSUnnamedCase<"createProject", QSProjectScaffold::Options>;
using UpdateProject = QSUnnamedCase<"updateProject", QSProject>;
struct RemoveProject {
  static constexpr std::string_view caseName = "removeProject";
  QSUUID id;
  bool dropDatabase = false;
  bool trashFolder = false;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id).field("dropDatabase", self.dropDatabase).field("trashFolder", self.trashFolder);
  }
  bool operator==(const RemoveProject&) const = default;
};
struct RenameProject {
  static constexpr std::string_view caseName = "renameProject";
  QSUUID id;
  std::string newName;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id).field("newName", self.newName);
  }
  bool operator==(const RenameProject&) const = default;
};
using ListDatabases = QSEmptyCase<"listDatabases">;
struct CreateDatabase {
  static constexpr std::string_view caseName = "createDatabase";
  std::string name;
  QSDatabaseType type = QSDatabaseType::postgresql;
  std::optional<int> port;
  std::optional<std::string> username;
  std::optional<std::string> password;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("name", self.name)
        .field("type", self.type)
        .field("port", self.port)
        .field("username", self.username)
        .field("password", self.password);
  }
  bool operator==(const CreateDatabase&) const = default;
};
using StartDatabase = QSIdentifiedCase<"startDatabase", "id">;
using StopDatabase = QSIdentifiedCase<"stopDatabase", "id">;
using RemoveDatabase = QSIdentifiedCase<"removeDatabase", "id">;
using UpdateDatabase = QSUnnamedCase<"updateDatabase", QSDatabase>;
struct ProvisionDatabase {
  static constexpr std::string_view caseName = "provisionDatabase";
  QSUUID projectID;
  QSDatabaseType type = QSDatabaseType::postgresql;
  bool isRedis = false;
  std::optional<std::string> username;
  std::optional<std::string> password;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("projectID", self.projectID)
        .field("type", self.type)
        .field("isRedis", self.isRedis)
        .field("username", self.username)
        .field("password", self.password);
  }
  bool operator==(const ProvisionDatabase&) const = default;
};
using StartServer = QSIdentifiedCase<"startServer", "projectID">;
using StopServer = QSIdentifiedCase<"stopServer", "projectID">;
using RestartServer = QSIdentifiedCase<"restartServer", "projectID">;
using GetServerStatus = QSIdentifiedCase<"getServerStatus", "projectID">;
using StartDNS = QSEmptyCase<"startDNS">;
using StopDNS = QSEmptyCase<"stopDNS">;
using StartProxy = QSEmptyCase<"startProxy">;
using StopProxy = QSEmptyCase<"stopProxy">;
using EnableTestRouting = QSEmptyCase<"enableTestRouting">;
using DisableTestRouting = QSEmptyCase<"disableTestRouting">;
struct AddDomain {
  static constexpr std::string_view caseName = "addDomain";
  QSUUID projectID;
  std::string hostname;
  bool ssl = false;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("projectID", self.projectID).field("hostname", self.hostname).field("ssl", self.ssl);
  }
  bool operator==(const AddDomain&) const = default;
};
using RemoveDomain = QSIdentifiedCase<"removeDomain", "projectID">;
using GetEnvVars = QSIdentifiedCase<"getEnvVars", "projectID">;
struct SetEnvVar {
  static constexpr std::string_view caseName = "setEnvVar";
  QSUUID projectID;
  std::string key;
  std::string value;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("projectID", self.projectID).field("key", self.key).field("value", self.value);
  }
  bool operator==(const SetEnvVar&) const = default;
};
struct UnsetEnvVar {
  static constexpr std::string_view caseName = "unsetEnvVar";
  QSUUID projectID;
  std::string key;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("projectID", self.projectID).field("key", self.key);
  }
  bool operator==(const UnsetEnvVar&) const = default;
};
using Status = QSEmptyCase<"status">;
using Health = QSEmptyCase<"health">;
struct Logs {
  static constexpr std::string_view caseName = "logs";
  QSServiceRef service;
  int lines = 0;
  bool follow = false;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("service", self.service).field("lines", self.lines).field("follow", self.follow);
  }
  bool operator==(const Logs&) const = default;
};
using Subscribe = QSUnnamedCase<"subscribe", QSEventKind>;
using Unsubscribe = QSUnnamedCase<"unsubscribe", QSEventKind>;
using Ping = QSEmptyCase<"ping">;
using ShutdownDaemon = QSEmptyCase<"shutdownDaemon">;

// Beyond the shared protocol. A single-field change of a project, so that it never writes back
// a stale copy of the other fields (a read, change, updateProject round trip would undo an
// environment edit made meanwhile); answered with `project`.
struct PinSwiftVersion {
  static constexpr std::string_view caseName = "pinSwiftVersion";
  QSUUID projectID;
  std::optional<std::string> version;  // absent: build with the default toolchain
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("projectID", self.projectID).field("version", self.version);
  }
  bool operator==(const PinSwiftVersion&) const = default;
};
struct SetAutoStart {
  static constexpr std::string_view caseName = "setAutoStart";
  QSUUID projectID;
  bool enabled = false;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("projectID", self.projectID).field("enabled", self.enabled);
  }
  bool operator==(const SetAutoStart&) const = default;
};
// Watch mode: while the project's server runs, a saved change in its sources rebuilds it beside
// the running server and restarts it on the new build; answered with `project`.
struct SetWatch {
  static constexpr std::string_view caseName = "setWatch";
  QSUUID projectID;
  bool enabled = false;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("projectID", self.projectID).field("enabled", self.enabled);
  }
  bool operator==(const SetWatch&) const = default;
};
// The Swift toolchains the daemon sees (its QS_TOOLCHAIN_DIRS may differ from a shell's);
// answered with `toolchains`.
using ListToolchains = QSEmptyCase<"listToolchains">;
// The last `count` requests of the project, as the proxy relayed them or, for requests that did
// not pass the proxy, as its server's console reported them (oldest first; the daemon keeps a
// bounded number per project while it runs); answered with `logEntries`.
struct GetRequestLog {
  static constexpr std::string_view caseName = "getRequestLog";
  QSUUID projectID;
  int count = 0;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("projectID", self.projectID).field("count", self.count);
  }
  bool operator==(const GetRequestLog&) const = default;
};
// Trust the local certificate authority in the user's NSS databases and the system store
// (creating it first when missing), or remove that trust; answered with `ok`. Like
// enableTestRouting, they fail with requiresInteractiveSession where the daemon cannot ask for
// the administrator password.
using TrustCA = QSEmptyCase<"trustCA">;
using UntrustCA = QSEmptyCase<"untrustCA">;
}  // namespace cmd

// What a client asks of the daemon, e.g. QSDaemonCommand(cmd::StartServer{projectID}).
struct QSDaemonCommand
    : QSEnumeration<cmd::ListProjects, cmd::GetProject, cmd::AddProject, cmd::CreateProject, cmd::UpdateProject,
                    cmd::RemoveProject, cmd::RenameProject, cmd::ListDatabases, cmd::CreateDatabase,
                    cmd::StartDatabase, cmd::StopDatabase, cmd::RemoveDatabase, cmd::UpdateDatabase,
                    cmd::ProvisionDatabase, cmd::StartServer, cmd::StopServer, cmd::RestartServer,
                    cmd::GetServerStatus, cmd::StartDNS, cmd::StopDNS, cmd::StartProxy, cmd::StopProxy,
                    cmd::EnableTestRouting, cmd::DisableTestRouting, cmd::AddDomain, cmd::RemoveDomain,
                    cmd::GetEnvVars, cmd::SetEnvVar, cmd::UnsetEnvVar, cmd::Status, cmd::Health, cmd::Logs,
                    cmd::Subscribe, cmd::Unsubscribe, cmd::Ping, cmd::ShutdownDaemon, cmd::PinSwiftVersion,
                    cmd::SetAutoStart, cmd::ListToolchains, cmd::GetRequestLog, cmd::TrustCA,
                    cmd::UntrustCA, cmd::SetWatch> {
  using QSEnumeration::QSEnumeration;
  static constexpr std::string_view typeName = "QSDaemonCommand";
};

}  // namespace qs

// The engine's operations on the project list: add, create, update, remove, rename, the
// single-field changes, and starting a project's server (with its linked databases), on demand
// and at login.
#pragma once

#include "core/engine/database_links.h"
#include "core/engine/engine_services.h"
#include "core/engine/engine_state.h"
#include "core/engine/environment_operations.h"
#include "core/engine/mail_operations.h"
#include "core/engine/network_operations.h"
#include "core/engine/request_logs.h"
#include "core/engine/server_supervisor.h"
#include "core/protocol/daemon_command.h"

#include <asio/awaitable.hpp>

#include <memory>
#include <string>

namespace qs {

class QSProjectOperations {
public:
  // Removing a project drops its databases (`links`) and its domain (`network`); starting its
  // server follows its databases' ports first.
  QSProjectOperations(QSEngineState& state, std::shared_ptr<QSDatabaseServicing> databases,
                      std::shared_ptr<QSServerSupervisor> servers, QSEnvironmentOperations& environment,
                      QSDatabaseLinks& links, QSNetworkOperations& network, QSRequestLogs& requestLogs,
                      QSMailOperations& mail);

  asio::awaitable<QSProject> addProject(const std::string& path);
  // A new Vapor package from the template, added as a project.
  asio::awaitable<QSProject> createProject(const cmd::CreateProject& request);
  QSProject updateProject(const QSProject& record);
  asio::awaitable<void> removeProject(const QSUUID& id, bool dropDatabase, bool trashFolder);
  asio::awaitable<QSProject> renameProject(const QSUUID& id, const std::string& newName);
  // Single-field changes: the engine's own record is changed, never a client's copy.
  QSProject pinSwiftVersion(const cmd::PinSwiftVersion& request);
  QSProject setAutoStart(const cmd::SetAutoStart& request);
  QSProject setWatch(const cmd::SetWatch& request);

  asio::awaitable<void> startServerWithDatabases(const QSUUID& projectID);
  // The servers of the projects flagged to start at login, each started (a failure is logged).
  asio::awaitable<void> autoStartProjects();

private:
  // Saves and publishes a change made in place to `project`; the record as it now stands.
  QSProject savedChange(const QSProject& project);

  QSEngineState& state_;
  std::shared_ptr<QSDatabaseServicing> databases_;
  std::shared_ptr<QSServerSupervisor> servers_;
  QSEnvironmentOperations& environment_;
  QSDatabaseLinks& links_;
  QSNetworkOperations& network_;
  QSRequestLogs& requestLogs_;
  QSMailOperations& mail_;
};

}  // namespace qs

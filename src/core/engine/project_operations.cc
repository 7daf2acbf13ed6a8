// The engine's operations on the project list: add, create, update, remove, rename, auto-start.
#include "core/engine/daemon_service.h"

#include "core/models/dotenv.h"
#include "core/models/env_file_writer.h"
#include "core/platform/files.h"
#include "core/platform/system_error.h"
#include "core/platform/trash.h"
#include "core/runtime/project_detector.h"
#include "core/runtime/project_scaffold.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

#include <algorithm>

namespace qs {
namespace {

[[noreturn]] void fail(const std::string& message) {
  throw QSDaemonException(QSDaemonError(daemonError::OperationFailed{message}));
}

std::string trimmedName(std::string_view name) {
  auto first = name.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  auto last = name.find_last_not_of(" \t");
  return std::string(name.substr(first, last - first + 1));
}

std::filesystem::path folderPath(const std::string& text) {
  std::string path = text;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return std::filesystem::path(path).lexically_normal();
}

}  // namespace

QSProject* QSDaemonService::project(const QSUUID& id) {
  auto it = std::find_if(config_.projects.begin(), config_.projects.end(), [&](const QSProject& p) { return p.id == id; });
  return it == config_.projects.end() ? nullptr : &*it;
}

QSProject& QSDaemonService::requireProject(const QSUUID& id) {
  if (auto* p = project(id)) return *p;
  throw QSDaemonException(QSDaemonError(daemonError::ProjectNotFound{id.string()}));
}

void QSDaemonService::writeEnvFile(const QSProject& p) { QSEnvFileWriter::write(p.environmentVariables, p.path, 3); }

asio::awaitable<QSProject> QSDaemonService::addProject(const std::string& path) {
  // Only absolute paths: a relative one would be resolved against the daemon's own folder.
  QSProjectDetector detector;
  if (path.empty() || path.front() != '/' || !isDirectory(path) || !detector.isVaporProject(path))
    throw QSDaemonException(QSDaemonError(daemonError::InvalidProjectPath{path}));
  QSProject record;
  record.path = folderPath(path);
  record.name = detector.projectName(record.path).value_or(record.path.filename().string());
  record.port = detector.detectPort(record.path);
  record.environmentVariables = detector.environmentVariables(record.path);
  // Adopting the databases its .env names comes with the database engines.
  config_.projects.push_back(record);
  save();
  emitProjectsChanged();
  co_return record;
}

QSProject QSDaemonService::updateProject(const QSProject& record) {
  QSProject& stored = requireProject(record.id);
  if (record.port < 1 || record.port > 65535)
    fail("Port " + std::to_string(record.port) + " is not a valid port: choose a number from 1 to 65535.");
  for (const auto& variable : record.environmentVariables)
    if (auto error = validateEnvironmentVariable(variable.key, variable.value)) fail(error->message());
  stored = record;
  writeEnvFile(stored);
  save();
  emitProjectsChanged();
  return stored;
}

asio::awaitable<void> QSDaemonService::removeProject(const QSUUID& id, bool dropDatabase, bool trashFolder) {
  const QSProject& found = requireProject(id);
  if (dropDatabase && (found.databaseID || found.redisID) && !databases_)
    fail("Dropping the project's databases isn't available in this build of quaysided yet; remove it without --drop-database.");
  co_await servers_->remove(id);
  QSProject* current = project(id);  // re-read: other requests ran during the stop
  if (!current) co_return;
  if (trashFolder) {
    try {
      moveToTrash(current->path);
    } catch (const QSSystemError& e) {
      log(std::string(logPrefix) + "couldn't move " + current->path.string() + " to the Trash: " + e.what());
    }
  }
  std::erase_if(config_.projects, [&](const QSProject& p) { return p.id == id; });
  save();
  emitProjectsChanged();
}

asio::awaitable<QSProject> QSDaemonService::renameProject(const QSUUID& id, const std::string& newName) {
  QSProject snapshot = requireProject(id);
  std::string name = trimmedName(newName);
  if (name.empty() || name == snapshot.name) co_return snapshot;
  if (name.find('/') != std::string::npos || name == "." || name == "..")
    fail("“" + name + "” can't be used as a folder name.");
  for (const auto& other : config_.projects)
    if (other.id != id && other.name == name) fail("A project named “" + name + "” already exists.");
  auto destination = snapshot.path.parent_path() / name;
  if (fileExists(destination)) fail("A folder named “" + name + "” already exists there.");

  bool wasActive = servers_->isActive(id);
  bool wasRunning = servers_->status(id).status == QSServerStatus::running;
  if (wasActive) co_await servers_->stop(id);
  QSProject* current = project(id);
  if (!current) throw QSDaemonException(QSDaemonError(daemonError::ProjectNotFound{id.string()}));
  try {
    moveItem(current->path, destination);
  } catch (const QSSystemError& e) {
    std::string message = std::string("Couldn't move the project folder: ") + e.what();
    if (wasActive) servers_->recordError(id, message);
    fail(message);
  }
  QSProjectScaffold::rewritePackageName(destination, name);
  current->name = name;
  current->path = destination;
  QSProject renamed = *current;
  save();
  emitProjectsChanged();
  if (wasRunning) {
    std::weak_ptr<QSDaemonService> weak = weak_from_this();
    asio::co_spawn(
        executor_,
        [weak, id]() -> asio::awaitable<void> {
          if (auto self = weak.lock()) {
            try {
              co_await self->servers_->start(id);
            } catch (const std::exception&) {
              // The restart after a rename reports nothing; the server record shows the failure.
            }
          }
        },
        asio::detached);
  }
  co_return renamed;
}

asio::awaitable<void> QSDaemonService::autoStartProjects() {
  std::vector<QSUUID> flagged;
  for (const auto& p : config_.projects)
    if (p.runsServerAtLogin()) flagged.push_back(p.id);
  for (const auto& id : flagged) {
    try {
      co_await servers_->start(id);
    } catch (const std::exception& e) {
      log(std::string(logPrefix) + "couldn't start " + id.string() + " at start-up: " + e.what());
    }
  }
}

}  // namespace qs

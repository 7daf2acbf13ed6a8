// The engine's operations on the project list: add, create, update, remove, rename, auto-start.
#include "core/engine/project_operations.h"

#include "core/engine/off_loop.h"
#include "core/models/dotenv.h"
#include "core/models/env_database_reference.h"
#include "core/models/env_file_writer.h"
#include "core/platform/files.h"
#include "core/platform/regex.h"
#include "core/platform/system_error.h"
#include "core/platform/text.h"
#include "core/platform/trash.h"
#include "core/platform/utf8.h"
#include "core/protocol/daemon_error.h"
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

std::filesystem::path folderPath(const std::string& text) {
  std::string path = text;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return std::filesystem::path(path).lexically_normal();
}

void failOn(const std::optional<QSEnvVariableError>& error) {
  if (error) fail(error->message());
}

// A variable of `next` that `stored` does not already hold as it is: only those are checked, so
// that a value stored before the limits existed does not block unrelated edits.
bool isNewOrChanged(const QSEnvironmentVariable& variable, const std::vector<QSEnvironmentVariable>& stored) {
  return std::none_of(stored.begin(), stored.end(), [&](const QSEnvironmentVariable& old) {
    return old.key == variable.key && old.value == variable.value;
  });
}

void restoreManifest(const std::filesystem::path& folder, const std::optional<std::string>& text) {
  if (!text) return;
  try {
    writeFileAtomically(folder / "Package.swift", *text);
  } catch (const QSSystemError&) {
    // The folder stays where it was; its manifest keeps the new name, which the failure names.
  }
}

}  // namespace

QSProjectOperations::QSProjectOperations(QSEngineState& state, std::shared_ptr<QSDatabaseServicing> databases,
                                         std::shared_ptr<QSServerSupervisor> servers,
                                         QSEnvironmentOperations& environment, QSDatabaseLinks& links,
                                         QSNetworkOperations& network, QSRequestLogs& requestLogs,
                                         QSMailOperations& mail)
    : state_(state),
      databases_(std::move(databases)),
      servers_(std::move(servers)),
      environment_(environment),
      links_(links),
      network_(network),
      requestLogs_(requestLogs),
      mail_(mail) {}

asio::awaitable<QSProject> QSProjectOperations::addProject(const std::string& path) {
  // Only absolute paths: a relative one would be resolved against the daemon's own folder.
  QSProjectDetector detector;
  if (path.empty() || path.front() != '/' || !isDirectory(path) || !detector.isVaporProject(path))
    throw QSDaemonException(QSDaemonError(daemonError::InvalidProjectPath{path}));
  // Records are UTF-8 text: a path or a .env that is not would be changed when stored.
  if (!isValidUTF8(path)) fail("The folder's path is not valid UTF-8 text, which Quayside cannot store unchanged.");
  if (!isValidUTF8(readFileIfPresent(folderPath(path) / ".env").value_or("")))
    fail("The .env of " + folderPath(path).string() +
         " is not valid UTF-8 text, which Quayside cannot store unchanged: save it as UTF-8, then add the project again.");
  QSProject record;
  record.path = folderPath(path);
  // Two records for one folder would write over each other's .env.
  for (const auto& other : state_.config.projects)
    if (other.path == record.path || isSameFile(other.path, record.path))
      fail("'" + record.path.string() + "' is already in Quayside as " + other.name + ".");
  record.name = detector.projectName(record.path).value_or(record.path.filename().string());
  record.port = detector.detectPort(record.path);
  record.environmentVariables = detector.environmentVariables(record.path);
  for (const auto& variable : record.environmentVariables)
    failOn(validateEnvironmentVariable(variable.key, variable.value));
  failOn(environment_.variablesFitError(QSProject{}, record.environmentVariables));
  if (databases_) {
    // Databases its .env names that exist here already are linked, not made again.
    auto references = QSEnvDatabaseReference::detect(record.environmentVariables);
    std::vector<QSDatabase> adoptable;
    if (!references.empty()) adoptable = co_await databases_->adoptableDatabases(references, record.name);
    for (const auto& other : state_.config.projects)  // re-checked: other requests ran meanwhile
      if (other.path == record.path) fail("'" + record.path.string() + "' is already in Quayside as " + other.name + ".");
    links_.adoptDatabases(record, adoptable);
  }
  state_.config.projects.push_back(record);
  state_.save();
  state_.emitProjectsChanged();
  co_return record;
}

asio::awaitable<QSProject> QSProjectOperations::createProject(const cmd::CreateProject& c) {
  QSProjectScaffold::Options options = c.value;
  // The .env sends mail where the catcher really listens, which is not 1025 when another
  // program holds that port.
  int mailPort = mail_.projectPort();
  auto scaffold = [options, mailPort] { return QSProjectScaffold::create(options, mailPort); };
  auto folder = co_await runOffLoop(state_.workers, state_.executor, scaffold);
  co_return co_await addProject(folder.string());
}

QSProject QSProjectOperations::updateProject(const QSProject& record) {
  QSProject& stored = state_.requireProject(record.id);
  if (record.port < 1 || record.port > 65535)
    fail("Port " + std::to_string(record.port) + " is not a valid port: choose a number from 1 to 65535.");
  QSProject next = record;
  // Keys typed into .env by hand are kept, as neither record knows them.
  for (auto& variable : QSEnvFileWriter::handAddedVariables(stored.environmentVariables, stored.path))
    if (std::none_of(next.environmentVariables.begin(), next.environmentVariables.end(),
                     [&](const QSEnvironmentVariable& v) { return v.key == variable.key; }))
      next.environmentVariables.push_back(std::move(variable));
  for (const auto& variable : next.environmentVariables)
    if (isNewOrChanged(variable, stored.environmentVariables))
      failOn(validateEnvironmentVariable(variable.key, variable.value));
  failOn(environment_.variablesFitError(stored, next.environmentVariables));
  stored = std::move(next);
  environment_.writeEnvFile(stored);
  network_.reconcileRoutes();  // the domain follows a changed port
  state_.save();
  state_.emitProjectsChanged();
  return stored;
}

asio::awaitable<void> QSProjectOperations::removeProject(const QSUUID& id, bool dropDatabase, bool trashFolder) {
  const QSProject& found = state_.requireProject(id);
  if (dropDatabase && (found.databaseID || found.redisID) && !databases_)
    fail("Dropping the project's databases isn't available in this build of quaysided yet; remove it without --drop-database.");
  co_await servers_->stop(id);
  QSProject* current = state_.project(id);  // re-read: other requests ran during the stop
  if (!current) co_return;
  // A folder that is already gone needs no trashing; one that cannot be trashed keeps its project,
  // so the user learns of it and can choose (remove it without --trash, or move it themselves).
  if (trashFolder && fileExists(current->path)) {
    try {
      moveToTrash(current->path);
    } catch (const QSSystemError& e) {
      fail("Couldn't move the project folder to the Trash (" + std::string(e.what()) +
           "); the project was not removed.");
    }
  }
  std::optional<QSUUID> linkedDatabase = current->databaseID, linkedRedis = current->redisID;
  std::erase_if(state_.config.projects, [&](const QSProject& p) { return p.id == id; });
  servers_->forget(id);
  requestLogs_.forget(id);
  network_.reconcileRoutes();  // its domain no longer leads anywhere
  state_.save();
  state_.emitProjectsChanged();
  if (dropDatabase && databases_) {
    bool forgotten = co_await links_.dropAndForget(linkedDatabase, id);
    forgotten = (co_await links_.dropAndForget(linkedRedis, id)) || forgotten;
    if (forgotten) state_.emit(evt::DatabasesChanged{state_.config.databases});
  }
}

asio::awaitable<QSProject> QSProjectOperations::renameProject(const QSUUID& id, const std::string& newName) {
  QSProject snapshot = state_.requireProject(id);
  std::string name = std::string(trimmed(newName, kBlanks));
  if (name.empty() || name == snapshot.name) co_return snapshot;
  if (auto error = QSProjectScaffold::nameValidationError(name)) fail(error->message());
  for (const auto& other : state_.config.projects)
    if (other.id != id && other.name == name) fail("A project named “" + name + "” already exists.");
  auto destination = snapshot.path.parent_path() / name;
  if (fileExists(destination)) fail("A folder named “" + name + "” already exists there.");

  bool wasActive = servers_->records().isActive(id);
  bool wasRunning = servers_->records().status(id).status == QSServerStatus::running;
  if (wasActive) co_await servers_->stop(id);
  QSProject* current = state_.project(id);
  if (!current) throw QSDaemonException(QSDaemonError(daemonError::ProjectNotFound{id.string()}));
  // The manifest is renamed first, in the old folder, so a failure leaves both as they were.
  std::optional<std::string> oldManifest;
  try {
    oldManifest = QSProjectScaffold::rewritePackageName(current->path, name);
  } catch (const QSSystemError& e) {
    fail(std::string("Couldn't rename the package in Package.swift: ") + e.what());
  }
  try {
    moveItem(current->path, destination);
  } catch (const QSSystemError& e) {
    restoreManifest(current->path, oldManifest);
    std::string message = std::string("Couldn't move the project folder: ") + e.what();
    if (wasActive) servers_->recordError(id, message);
    fail(message);
  }
  current->name = name;
  current->path = destination;
  QSProject renamed = *current;
  state_.save();
  state_.emitProjectsChanged();
  if (wasRunning) {
    std::weak_ptr<QSProjectOperations> weak = state_.weakHandle(*this);
    asio::co_spawn(
        state_.executor,
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

QSProject QSProjectOperations::pinSwiftVersion(const cmd::PinSwiftVersion& c) {
  // Toolchains are chosen by their dotted version number, so nothing else could ever match.
  static const QSRegex dottedVersion(R"(\d+\.\d+(\.\d+)?)");
  QSProject& p = state_.requireProject(c.projectID);
  if (c.version && !dottedVersion.fullMatch(*c.version))
    fail("'" + *c.version + "' isn't a Swift version; give one like 6.0 or 6.0.3.");
  p.swiftVersion = c.version;
  return savedChange(p);  // the save also writes or removes .swift-version
}

QSProject QSProjectOperations::setAutoStart(const cmd::SetAutoStart& c) {
  QSProject& p = state_.requireProject(c.projectID);
  p.autoStartServerAtLogin = c.enabled;
  return savedChange(p);
}

QSProject QSProjectOperations::setWatch(const cmd::SetWatch& c) {
  QSProject& p = state_.requireProject(c.projectID);
  p.watchMode = c.enabled;
  QSProject changed = savedChange(p);
  servers_->watchSettingChanged(c.projectID);  // a running server is watched (or no more) at once
  return changed;
}

QSProject QSProjectOperations::savedChange(const QSProject& project) {
  QSProject changed = project;  // the save and the event may touch the list that holds `project`
  state_.save();
  state_.emitProjectsChanged();
  return changed;
}

asio::awaitable<void> QSProjectOperations::autoStartProjects() {
  std::vector<QSUUID> flagged;
  for (const auto& p : state_.config.projects)
    if (p.runsServerAtLogin()) flagged.push_back(p.id);
  for (const auto& id : flagged) {
    try {
      co_await startServerWithDatabases(id);
    } catch (const std::exception& e) {
      state_.log(std::string(QSEngineState::logPrefix) + "couldn't start " + id.string() + " at start-up: " + e.what());
    }
  }
}

asio::awaitable<void> QSProjectOperations::startServerWithDatabases(const QSUUID& projectID) {
  co_await links_.reconcileLinkedDatabases(projectID);
  co_await servers_->start(projectID);
}

}  // namespace qs

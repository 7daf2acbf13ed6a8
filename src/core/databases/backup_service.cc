#include "core/databases/backup_service.h"

#include "core/databases/backup_error.h"
#include "core/databases/database_engine.h"
#include "core/databases/engine_tool.h"
#include "core/platform/file_lock.h"
#include "core/platform/file_status.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/process_runner.h"
#include "core/platform/regex.h"
#include "core/platform/system_error.h"
#include "core/platform/text.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <optional>

#include <unistd.h>

namespace qs {
namespace fs = std::filesystem;
namespace {

// Written in a database's folder by the database that claimed it.
constexpr const char* kOwnerFile = ".database-id";
// How much of a file restore reads to tell what it is.
constexpr std::size_t kSniffSize = 64 * 1024;

// A name in the snapshot's folder that listing never shows (it does not end in .sql) and that
// no other dump running at the same time uses: ".<snapshot name>.<pid>-<n>.partial".
fs::path temporaryPath(const fs::path& target) {
  static std::atomic<unsigned> counter{0};
  return target.parent_path() /
         ("." + target.filename().string() + "." + std::to_string(::getpid()) + "-" + std::to_string(++counter) +
          ".partial");
}

// Exactly the names temporaryPath gives (for any slug, as the database may have been renamed).
bool isDumpTemporary(std::string_view name) {
  static const QSRegex pattern(
      R"(\.[a-z0-9-]+-\d{4}-\d{2}-\d{2}-\d{6}(-before-restore(-\d+)?)?\.sql\.\d+-\d+\.partial)");
  return pattern.fullMatch(name);
}

// Creates the dump's temporary file and locks it for as long as the dump runs, so that
// removeAbandonedDumps tells it from one whose process died. Throws when it cannot be created.
UniqueFd claimTemporary(const fs::path& target, fs::path& partial) {
  // The lock is taken just after the file appears; a clean-up that removed it in between (or
  // was looking at it at that moment) makes us start again under a new name.
  for (int attempt = 0;; ++attempt) {
    partial = temporaryPath(target);
    UniqueFd fd = openLockFile(partial);
    if (!fd) throwSystemError("open " + partial.string());
    if (tryLockExclusive(fd) && fileExists(partial)) return fd;
    tryRemoveFile(partial);
    if (attempt == 10) throwSystemError("flock " + partial.string(), EWOULDBLOCK);
  }
}

// Deletes the temporaries of dumps whose process died before finishing (its lock went with it).
void removeAbandonedDumps(const fs::path& folder) {
  for (const auto& name : tryListDirectory(folder))
    if (isDumpTemporary(name) && !isLockedElsewhere(folder / name)) tryRemoveFile(folder / name);
}

// The engine whose dump tool wrote `head`, from the header line the tools write; nothing for SQL
// of unknown origin.
std::optional<QSDatabaseType> dumpedFrom(std::string_view head) {
  for (const auto& [type, name] : QSRawEnum<QSDatabaseType>::cases)
    if (makeDatabaseEngine(type)->wroteDump(head)) return type;
  return std::nullopt;
}

// Binary content (a NUL byte), such as pg_dump's custom format or an archive, is not SQL text.
bool looksLikeText(std::string_view head) { return head.find('\0') == std::string_view::npos; }

// Runs a dump or client tool: our environment plus `environment`, minus client settings that
// would point it elsewhere; a failure carries the tool's trimmed error output.
void runTool(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& environment,
             const std::optional<fs::path>& input, const std::vector<std::string>& secrets,
             const std::optional<fs::path>& output = std::nullopt) {
  QSProcessOptions options;
  options.environment = environment;
  for (const auto& variable : engineClientVariables())
    if (!environment.contains(variable)) options.unsetEnvironment.push_back(variable);
  options.inputFile = input;
  options.outputFile = output;
  QSProcessResult result = runProcess(arguments, options);
  if (result.succeeded()) return;
  std::string text = std::string(trimmed(redacted(result.errorOutput, secrets), " \t\r\n"));
  if (text.empty()) text = "exit code " + std::to_string(result.exitStatus);
  throw QSBackupException(QSBackupError(backupError::CommandFailed{text}));
}

void requireSupported(QSDatabaseType type) {
  if (!QSBackupService::supports(type)) throw QSBackupException(QSBackupError(backupError::Unsupported{type}));
}

}  // namespace

QSBackupService::QSBackupService(QSServiceRegistry registry, fs::path root, PortLookup port)
    : registry_(std::move(registry)), root_(std::move(root)), port_(std::move(port)) {}

bool QSBackupService::supports(QSDatabaseType type) { return makeDatabaseEngine(type)->keepsSnapshots(); }

fs::path QSBackupService::rootDirectory() { return QSPaths::dataFolderPath() / "Backups"; }

std::string QSBackupService::slug(const QSDatabase& database) {
  std::string out = database.effectiveDatabaseName();
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    else if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) c = '-';
  }
  return out;
}

std::string QSBackupService::snapshotName(const QSDatabase& database, QSTimestamp at) {
  return slug(database) + "-" + QSTime::snapshotStampLocal(at) + ".sql";
}

fs::path QSBackupService::directory(const QSDatabase& database) {
  std::string id = database.id.string();
  fs::path folder = root_ / slug(database);
  auto owner = readFileIfPresent(folder / kOwnerFile);
  if (!owner || std::string(trimmed(*owner, " \t\r\n")) == id) return folder;
  std::string shortID = id.substr(0, 8);
  std::transform(shortID.begin(), shortID.end(), shortID.begin(), [](unsigned char c) { return std::tolower(c); });
  return root_ / (slug(database) + "-" + shortID);
}

fs::path QSBackupService::tool(QSDatabaseType type, const std::string& name) {
  auto path = registry_.binaryPath(type, name);
  if (!path || !isExecutableFile(*path)) throw QSBackupException(QSBackupError(backupError::ToolMissing{name}));
  return *path;
}

int QSBackupService::port(QSDatabaseType type) {
  if (port_) return port_(type);
  auto installed = registry_.service(type);
  return installed && installed->port > 0 ? installed->port : defaultPort(type);
}

fs::path QSBackupService::backup(const QSDatabase& database, QSTimestamp at) {
  return dump(database, snapshotName(database, at));
}

fs::path QSBackupService::dump(const QSDatabase& database, const std::string& name) {
  requireSupported(database.type);
  fs::path folder = directory(database);
  createDirectories(folder, 0700);
  // The first database to keep snapshots here claims the folder (see directory()).
  if (!fileExists(folder / kOwnerFile)) writeFileAtomically(folder / kOwnerFile, database.id.string() + "\n", 0600);
  removeAbandonedDumps(folder);
  fs::path target = folder / name;
  auto taken = [&] { return QSBackupException(QSBackupError(backupError::SnapshotExists{target.string()})); };
  if (fileExists(target)) throw taken();
  QSEngineCommand command = makeDatabaseEngine(database.type)->dumpCommand(database, port(database.type));
  tool(database.type, command.tool);  // a missing tool fails before the temporary is made
  fs::path partial;
  UniqueFd hold = claimTemporary(target, partial);
  try {
    // The dump goes into the temporary we hold through standard output: the tool's own -f would
    // truncate it, and the file system then flushes it on close, which costs a large dump about a
    // quarter of its time.
    run(database.type, command, partial);
    // Another backup of this second may have finished first; its snapshot stays.
    if (fileExists(target)) throw taken();
    moveItem(partial, target);
  } catch (...) {
    // A failed dump may have written part of the file: it must never pass for a snapshot.
    tryRemoveFile(partial);
    throw;
  }
  return target;
}

fs::path QSBackupService::restore(const QSDatabase& database, const fs::path& file) {
  requireSupported(database.type);
  if (!fileExists(file) || isDirectory(file))
    throw QSBackupException(QSBackupError(backupError::FileMissing{file.string()}));
  std::string head = readFilePrefix(file, kSniffSize);
  if (!looksLikeText(head)) throw QSBackupException(QSBackupError(backupError::NotSQL{file.string()}));
  if (auto origin = dumpedFrom(head); origin && *origin != database.type)
    throw QSBackupException(QSBackupError(backupError::WrongEngine{file.string(), *origin, database.type}));
  // The file replaces the data: into an empty database, with what was there kept aside first.
  std::string stamp = snapshotName(database, QSTime::now());
  std::string name = stamp.substr(0, stamp.size() - 4) + "-before-restore";
  for (int n = 2; fileExists(directory(database) / (name + ".sql")); ++n)
    name = stamp.substr(0, stamp.size() - 4) + "-before-restore-" + std::to_string(n);
  fs::path safety = dump(database, name + ".sql");
  try {
    recreate(database);
    load(database, file);
  } catch (const QSBackupException& failed) {
    std::optional<std::string> rollback;
    try {
      recreate(database);
      load(database, safety);
    } catch (const std::exception& e) {
      rollback = e.what();
    }
    throw QSBackupException(QSBackupError(backupError::RestoreFailed{failed.what(), safety.string(), rollback}));
  }
  return safety;
}

void QSBackupService::recreate(const QSDatabase& database) {
  QSEngineContext context{.dataRoot = registry_.file().parent_path()};
  run(database.type, makeDatabaseEngine(database.type, context)->recreateCommand(database, port(database.type)));
}

void QSBackupService::load(const QSDatabase& database, const fs::path& file) {
  run(database.type, makeDatabaseEngine(database.type)->loadCommand(database, port(database.type), file));
}

void QSBackupService::run(QSDatabaseType type, const QSEngineCommand& command, const std::optional<fs::path>& output) {
  std::vector<std::string> arguments{tool(type, command.tool).string()};
  arguments.insert(arguments.end(), command.arguments.begin(), command.arguments.end());
  runTool(arguments, command.environment, command.input, command.secrets, output);
}

std::vector<QSBackupFile> QSBackupService::backups(const QSDatabase& database) {
  fs::path folder = directory(database);
  removeAbandonedDumps(folder);
  std::vector<QSBackupFile> files;
  for (const auto& name : tryListDirectory(folder)) {
    fs::path path = folder / name;
    if (path.extension() != ".sql" || name.starts_with(".")) continue;
    auto attributes = fileAttributes(path);
    if (!attributes) continue;
    files.push_back({path, QSTimestamp(std::chrono::seconds(attributes->modificationSeconds)), attributes->size});
  }
  // Newest first; the name without ".sql" (which holds the time) breaks ties within one second,
  // so a restore's "-before-restore" copy comes before the snapshot of the same second it followed.
  std::sort(files.begin(), files.end(), [](const QSBackupFile& a, const QSBackupFile& b) {
    return a.createdAt != b.createdAt ? a.createdAt > b.createdAt : a.url.stem() > b.url.stem();
  });
  return files;
}

void QSBackupService::prune(const QSDatabase& database, std::size_t keeping) {
  auto files = backups(database);
  for (std::size_t i = keeping; i < files.size(); ++i) tryRemoveFile(files[i].url);
}

}  // namespace qs

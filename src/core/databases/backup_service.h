// Snapshots of local PostgreSQL and MySQL databases as plain SQL dump files: taking them with
// the engines' own dump tools, listing, pruning, and restoring one (or any SQL file) into a
// database. SQLite and Redis databases have no snapshots.
#pragma once

#include "core/databases/service_registry.h"
#include "core/models/database.h"
#include "core/platform/timestamp.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qs {

struct QSEngineCommand;

struct QSBackupFile {
  std::filesystem::path url;
  QSTimestamp createdAt;      // the file's modification time
  std::int64_t sizeBytes = 0;  // 0 when unknown
  bool operator==(const QSBackupFile&) const = default;
};

// Every operation blocks while the tools run: call it from the command-line tool or a worker
// thread. The engine is never started here; a stopped engine makes the tool fail.
class QSBackupService {
public:
  // Where the type's shared engine listens.
  using PortLookup = std::function<int(QSDatabaseType)>;

  // `registry` finds the engine tools; snapshots go below `root`. Without `port`, an engine's
  // port is the one registered for it (its default when none is).
  explicit QSBackupService(QSServiceRegistry registry, std::filesystem::path root = rootDirectory(),
                           PortLookup port = {});

  // True for PostgreSQL and MySQL.
  static bool supports(QSDatabaseType type);
  // <data folder>/Backups
  static std::filesystem::path rootDirectory();
  // The database's `databaseName` (else `name`), lower-cased, every character that is neither
  // an ASCII letter nor a digit replaced by "-": "My Shop DB" gives "my-shop-db".
  static std::string slug(const QSDatabase& database);
  // The snapshot file name for a snapshot taken at `at`: "my-shop-db-2026-12-04-054100.sql".
  static std::string snapshotName(const QSDatabase& database, QSTimestamp at);

  // root/slug. A folder is claimed by the first database that keeps snapshots in it (its id is
  // written in it); another database with the same slug (My Shop and my-shop) uses
  // root/slug-<first 8 characters of its id> instead, so neither lists nor prunes the other's.
  std::filesystem::path directory(const QSDatabase& database);

  // Dumps the database to a new snapshot and returns its path. The dump is written under a
  // temporary name in the same folder and renamed when the tool succeeds; on failure nothing
  // is left behind. Temporaries that dumps killed midway left in the folder (their process
  // gone) are removed first. Throws QSBackupException (unsupported, toolMissing, commandFailed).
  std::filesystem::path backup(const QSDatabase& database, QSTimestamp at = QSTime::now());
  // Replaces the database's data with `file`: takes a safety snapshot (slug-TIME-before-restore.sql),
  // drops and makes the database again (as the engine's service account, through its socket),
  // and runs the file into the empty database. When that fails, the safety snapshot is put back
  // the same way and restoreFailed says so (or says that this failed too, and where the
  // snapshot is). A missing file, a file that is not SQL text, or a dump of the other engine is
  // refused before any tool runs. Returns the safety snapshot's path.
  std::filesystem::path restore(const QSDatabase& database, const std::filesystem::path& file);
  // The database's snapshots (*.sql in its folder), newest first; none when the folder is missing.
  // Removes the temporaries of dumps that were killed midway, as backup() does.
  std::vector<QSBackupFile> backups(const QSDatabase& database);
  // Deletes all but the newest `keeping` snapshots; deletion failures are ignored.
  void prune(const QSDatabase& database, std::size_t keeping);

  QSServiceRegistry& registry() { return registry_; }

private:
  std::filesystem::path tool(QSDatabaseType type, const std::string& name);
  std::filesystem::path dump(const QSDatabase& database, const std::string& name);
  void recreate(const QSDatabase& database);
  void load(const QSDatabase& database, const std::filesystem::path& file);
  // Runs one of the engine's commands with the installed engine's tool.
  void run(QSDatabaseType type, const QSEngineCommand& command,
           const std::optional<std::filesystem::path>& output = std::nullopt);
  int port(QSDatabaseType type);

  QSServiceRegistry registry_;
  std::filesystem::path root_;
  PortLookup port_;
};

}  // namespace qs

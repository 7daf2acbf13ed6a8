#include "core/databases/service_catalogue.h"

#include "core/platform/file_status.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/process_environment.h"
#include "core/platform/process_runner.h"
#include "core/platform/regex.h"

#include <algorithm>

namespace qs {
namespace fs = std::filesystem;
namespace {

const std::vector<std::string> kPostgresBinaries = {"pg_ctl", "initdb",  "psql",     "postgres",
                                                    "pg_dump", "pg_restore", "createdb", "createuser"};
const std::vector<std::string> kMySQLBinaries = {"mysqld", "mysql", "mysqladmin", "mysqldump"};
const std::vector<std::string> kRedisBinaries = {"redis-server", "redis-cli"};

std::string machineArchitecture() {
#if defined(__aarch64__)
  return "aarch64";
#else
  return "x86_64";
#endif
}

// The value of KEY= in an os-release file, unquoted.
std::string osReleaseValue(const std::string& text, const std::string& key) {
  QSRegex pattern("(?m)^" + key + R"(=\"?([^\"\n]*)\"?$)");
  auto match = pattern.firstMatch(text);
  return match && !match->empty() ? (*match)[0] : std::string();
}

std::vector<QSServiceDefinition> downloadable() {
  std::string arch = machineArchitecture();
  QSServiceDefinition mysql{
      .id = "mysql-8.4",
      .type = QSDatabaseType::mysql,
      .version = "8.4 LTS",
      .platform = arch,
      .downloadURL = "https://cdn.mysql.com/Downloads/MySQL-8.4/mysql-8.4.5-linux-glibc2.28-" + arch + ".tar.xz",
      .checksum = "",
      .compressedSize = 200000000,
      .binaryNames = kMySQLBinaries,
      .archiveFormat = QSArchiveFormat::tarXZ,
  };
  QSServiceDefinition redis{
      .id = "redis-8.4",
      .type = QSDatabaseType::redis,
      .version = "8.4",
      .platform = arch,
      .downloadURL = "https://download.redis.io/releases/redis-8.4.2.tar.gz",
      .checksum = "",
      .compressedSize = 5000000,
      .binaryNames = kRedisBinaries,
      .archiveFormat = QSArchiveFormat::sourceTarGZ,
  };
  return {mysql, redis};
}

}  // namespace

fs::path QSSystemEngines::rooted(const fs::path& absolute) const { return root_ / absolute.relative_path(); }

std::optional<fs::path> QSSystemEngines::postgresBinFolder() const {
  // Debian keeps each major version apart; other distributions put the tools on the PATH.
  std::optional<int> newest;
  for (const auto& entry : tryListDirectory(rooted("/usr/lib/postgresql"))) {
    if (entry.empty() || !std::all_of(entry.begin(), entry.end(), ::isdigit) || entry.size() > 4) continue;
    if (!isExecutableFile(rooted("/usr/lib/postgresql") / entry / "bin/postgres")) continue;
    newest = std::max(newest.value_or(0), std::stoi(entry));
  }
  if (newest) return rooted("/usr/lib/postgresql") / std::to_string(*newest) / "bin";
  if (isExecutableFile(rooted("/usr/bin/postgres")) && isExecutableFile(rooted("/usr/bin/pg_ctl")))
    return rooted("/usr/bin");
  return std::nullopt;
}

bool QSSystemEngines::isPresent(QSDatabaseType type) const { return !binaries(type).empty(); }

std::vector<std::pair<std::string, fs::path>> QSSystemEngines::binaries(QSDatabaseType type) const {
  std::vector<std::pair<std::string, fs::path>> links;
  auto linkFirst = [&](const std::string& name, std::initializer_list<const char*> candidates) {
    for (const char* candidate : candidates)
      if (isExecutableFile(rooted(candidate))) {
        links.emplace_back(name, rooted(candidate));
        return true;
      }
    return false;
  };
  switch (type) {
    case QSDatabaseType::postgresql:
      if (auto folder = postgresBinFolder())
        for (const auto& name : kPostgresBinaries)
          if (isExecutableFile(*folder / name)) links.emplace_back(name, *folder / name);
      if (std::none_of(links.begin(), links.end(), [](const auto& l) { return l.first == "pg_ctl"; })) links.clear();
      break;
    case QSDatabaseType::mysql:
      if (!linkFirst("mysqld", {"/usr/sbin/mariadbd", "/usr/sbin/mysqld", "/usr/libexec/mysqld", "/usr/bin/mariadbd"}))
        break;
      linkFirst("mysql", {"/usr/bin/mariadb", "/usr/bin/mysql"});
      linkFirst("mysqladmin", {"/usr/bin/mariadb-admin", "/usr/bin/mysqladmin"});
      linkFirst("mysqldump", {"/usr/bin/mariadb-dump", "/usr/bin/mysqldump"});
      linkFirst("mariadb-install-db", {"/usr/bin/mariadb-install-db", "/usr/bin/mysql_install_db"});
      break;
    case QSDatabaseType::redis:
      if (linkFirst("redis-server", {"/usr/bin/redis-server", "/usr/sbin/redis-server"}))
        linkFirst("redis-cli", {"/usr/bin/redis-cli"});
      break;
    case QSDatabaseType::sqlite:
      linkFirst("sqlite3", {"/usr/bin/sqlite3"});
      break;
  }
  return links;
}

std::optional<std::string> QSSystemEngines::version(QSDatabaseType type) const {
  auto links = binaries(type);
  if (links.empty()) return std::nullopt;
  const fs::path& server = links.front().second;
  if (type == QSDatabaseType::postgresql && server.parent_path().parent_path().parent_path() ==
                                                rooted("/usr/lib/postgresql"))
    return server.parent_path().parent_path().filename().string();
  try {
    auto result = runProcess({server.string(), "--version"}, {.mergeErrorIntoOutput = true});
    // "postgres (PostgreSQL) 15.8", "mariadbd  Ver 10.11.6-MariaDB-0+deb12u1", "Redis server v=7.0.15"
    static const QSRegex number(R"((\d+)\.(\d+))");
    auto match = number.firstMatch(result.output);
    if (!match) return std::nullopt;
    if (type == QSDatabaseType::postgresql) return (*match)[0];
    return (*match)[0] + "." + (*match)[1];
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string QSSystemEngines::packageCommand(QSDatabaseType type) const {
  std::string release = readFileIfPresent(rooted("/etc/os-release")).value_or("");
  std::string family = osReleaseValue(release, "ID") + " " + osReleaseValue(release, "ID_LIKE");
  auto is = [&](const char* name) { return family.find(name) != std::string::npos; };
  int engine = type == QSDatabaseType::postgresql ? 0 : type == QSDatabaseType::mysql ? 1 : type == QSDatabaseType::redis ? 2 : 3;
  struct Manager {
    const char* command;
    const char* packages[4];
  };
  static const Manager apt{"apt install ", {"postgresql", "mariadb-server", "redis-server", "sqlite3"}};
  static const Manager dnf{"dnf install ", {"postgresql-server", "mariadb-server", "redis", "sqlite"}};
  static const Manager pacman{"pacman -S ", {"postgresql", "mariadb", "redis", "sqlite"}};
  static const Manager zypper{"zypper install ", {"postgresql-server", "mariadb", "redis", "sqlite3"}};
  const Manager* manager = &apt;
  if (is("fedora") || is("rhel") || is("centos")) manager = &dnf;
  else if (is("arch")) manager = &pacman;
  else if (is("suse")) manager = &zypper;
  return std::string(manager->command) + manager->packages[engine];
}

QSServiceDefinition QSSystemEngines::definition(QSDatabaseType type) const {
  QSServiceDefinition entry;
  entry.id = std::string(rawValue(type)) + "-system";
  entry.type = type;
  entry.version = version(type).value_or("");
  auto links = binaries(type);
  bool mariaDB = std::any_of(links.begin(), links.end(), [](const auto& l) { return l.first == "mariadb-install-db"; });
  if (mariaDB) entry.version += entry.version.empty() ? "MariaDB" : " (MariaDB)";
  entry.platform = machineArchitecture();
  entry.archiveFormat = QSArchiveFormat::system;
  entry.binaryNames = type == QSDatabaseType::postgresql ? kPostgresBinaries
                      : type == QSDatabaseType::mysql    ? kMySQLBinaries
                                                         : kRedisBinaries;
  return entry;
}

namespace QSServiceCatalogue {

std::vector<QSServiceDefinition> builtIn(const QSSystemEngines& system) {
  std::vector<QSServiceDefinition> catalogue;
  for (auto type : {QSDatabaseType::postgresql, QSDatabaseType::mysql, QSDatabaseType::redis})
    catalogue.push_back(system.definition(type));
  for (auto& entry : downloadable()) catalogue.push_back(std::move(entry));
  return catalogue;
}

std::vector<QSServiceDefinition> load(const std::vector<fs::path>& manifestFiles, const QSSystemEngines& system) {
  for (const auto& file : manifestFiles) {
    auto text = readFileIfPresent(file);
    if (!text) continue;
    try {
      auto manifest = fromJson<QSServiceManifest>(json::parse(*text), QSCoder::stateFile());
      if (!manifest.services.empty()) return manifest.services;
    } catch (const std::exception&) {
      // An unreadable manifest is passed over, as a missing one is.
    }
  }
  return builtIn(system);
}

std::vector<fs::path> defaultManifestFiles() {
  return {currentExecutable().parent_path() / "service-manifest.json",
          QSPaths::dataFolderPath() / "service-manifest.json"};
}

std::optional<QSServiceDefinition> find(const std::vector<QSServiceDefinition>& catalogue, const std::string& id) {
  for (const auto& entry : catalogue)
    if (entry.id == id) return entry;
  return std::nullopt;
}

}  // namespace QSServiceCatalogue
}  // namespace qs

// The catalogue of installable engines: a `system` entry for each engine type (the one the OS
// package manager installs), then the engines Quayside can download.
#pragma once

#include "core/databases/service_definition.h"

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qs {

// The engines the OS package manager installed, found below a root folder ("/" on a real
// machine; tests point it at a stand-in tree).
class QSSystemEngines {
public:
  explicit QSSystemEngines(std::filesystem::path root = "/") : root_(std::move(root)) {}

  // Whether the engine's server binary is present.
  bool isPresent(QSDatabaseType type) const;
  // The binaries a system install links, as (name under bin/, absolute target) pairs. The MySQL
  // family is linked under MySQL's names too (mysqld, mysql, mysqladmin, mysqldump), whatever
  // MariaDB calls them. Empty when the engine is not present.
  std::vector<std::pair<std::string, std::filesystem::path>> binaries(QSDatabaseType type) const;
  // The version the installed server reports ("15", "10.11", "7.0"); nothing when it is not
  // present or does not say.
  std::optional<std::string> version(QSDatabaseType type) const;
  // The package manager's command that installs the engine: "apt install postgresql",
  // "dnf install postgresql-server", … chosen from the root's etc/os-release.
  std::string packageCommand(QSDatabaseType type) const;
  // The catalogue entry of the type's system engine (present or not).
  QSServiceDefinition definition(QSDatabaseType type) const;

  const std::filesystem::path& root() const { return root_; }

private:
  std::optional<std::filesystem::path> postgresBinFolder() const;
  std::filesystem::path rooted(const std::filesystem::path& absolute) const;

  std::filesystem::path root_;
};

namespace QSServiceCatalogue {

// System entries for PostgreSQL, MySQL (MariaDB) and Redis, then the downloadable engines.
std::vector<QSServiceDefinition> builtIn(const QSSystemEngines& system);
// The first of `manifestFiles` that decodes to a non-empty list of services; the built-in
// catalogue when none does.
std::vector<QSServiceDefinition> load(const std::vector<std::filesystem::path>& manifestFiles,
                                      const QSSystemEngines& system);
// service-manifest.json beside the running executable, then in the data folder.
std::vector<std::filesystem::path> defaultManifestFiles();
// The entry with `id`, if the catalogue has one.
std::optional<QSServiceDefinition> find(const std::vector<QSServiceDefinition>& catalogue, const std::string& id);

}  // namespace QSServiceCatalogue

}  // namespace qs

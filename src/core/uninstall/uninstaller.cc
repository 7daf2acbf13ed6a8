#include "core/uninstall/uninstaller.h"

#include "core/daemon/desktop_entries.h"
#include "core/databases/database_service.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/tree_removal.h"
#include "core/routing/ca_trust.h"
#include "core/routing/privileged_helper.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <stdexcept>

namespace qs {
namespace {

namespace fs = std::filesystem;

bool hasDotComponents(const fs::path& path) {
  for (const auto& part : path)
    if (part == "." || part == "..") return true;
  return false;
}

// Whether `inner` is `outer` or lies below it (both lexically normal and absolute).
bool isWithin(const fs::path& inner, const fs::path& outer) {
  auto [end, _] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
  return end == outer.end();
}

// Where `path` really is: its folder with links resolved, and its own name (a link there is
// removed itself, so what it points to does not count).
fs::path realLocation(const fs::path& path) {
  std::error_code ignored;
  auto folder = fs::weakly_canonical(path.parent_path(), ignored);
  return folder.empty() ? path : folder / path.filename();
}

fs::path realPath(const fs::path& path) {
  std::error_code ignored;
  auto real = fs::weakly_canonical(path, ignored);
  return real.empty() ? path.lexically_normal() : real;
}

// The project folders recorded in the data folder's state file. Read here rather than through
// the state store, whose load writes to the projects.
std::vector<fs::path> recordedProjectFolders(const fs::path& dataDirectory) {
  std::vector<fs::path> folders;
  auto text = readFileIfPresent(dataDirectory / "config.json");
  if (!text) return folders;
  auto state = nlohmann::json::parse(*text, nullptr, false);
  if (!state.is_object() || !state.contains("projects") || !state["projects"].is_array()) return folders;
  for (const auto& project : state["projects"])
    if (project.is_object() && project.contains("path") && project["path"].is_string())
      folders.emplace_back(project["path"].get<std::string>());
  return folders;
}

template <class Step>
QSUninstaller::StepResult attempt(std::string_view title, Step&& step) {
  try {
    step();
    return {std::string(title), true, std::nullopt};
  } catch (const std::exception& e) {
    return {std::string(title), false, std::string(e.what())};
  }
}

}  // namespace

QSUninstaller::Places QSUninstaller::Places::forThisUser(std::shared_ptr<QSPrivilegedRunner> runner) {
  return {.system = QSSystemRoot::fromEnvironment(),
          .runner = std::move(runner),
          .installer = QSDaemonInstaller(),
          .home = QSPaths::home(),
          .dataDirectory = QSUninstaller::dataDirectory(),
          .settingsDirectory = QSPaths::configFolder(),
          .projectsFolder = QSPaths::projectsFolder()};
}

QSUninstaller::QSUninstaller(Places places) : places_(std::move(places)) {}

fs::path QSUninstaller::dataDirectory() { return QSPaths::dataFolderPath(); }

std::vector<QSUninstaller::StepResult> QSUninstaller::run(const Options& options, const Progress& progress) const {
  std::vector<StepResult> results;
  auto record = [&](StepResult result) {
    results.push_back(std::move(result));
    if (progress) progress(results.back());
  };
  // Before anything else, so that no engine writes into the folder about to be deleted.
  std::optional<std::string> enginesStuck;
  if (options.deleteData && !dataDirectoryProblem()) enginesStuck = stopEngines();
  if (options.disableRouting) record(attempt(disableRoutingStep, [this] { disableRouting(); }));
  if (options.removeCertificate) record(attempt(removeCertificateStep, [this] { removeCertificate(); }));
  if (options.removeCLI) record(attempt(removeCLIStep, [this] { removeCLI(); }));
  if (options.deleteData)
    record(attempt(deleteDataStep, [&] {
      if (enginesStuck) throw std::runtime_error(*enginesStuck);
      deleteData();
    }));
  return results;
}

void QSUninstaller::disableRouting() const { QSPrivilegedHelper(places_.system, places_.runner).disableTestRouting(); }

void QSUninstaller::removeCertificate() const {
  fs::path authority = places_.dataDirectory / "ssl" / "ca.pem";
  QSCATrust(authority, places_.system, places_.runner, places_.home).untrustCA();
}

void QSUninstaller::removeCLI() const {
  fs::path links = places_.home / ".local" / "bin";
  places_.installer.uninstall(links);
  // The folders the install made for these files go too, when nothing else is in them.
  fs::path units = QSDaemonInstaller::userUnitPath().parent_path();
  std::vector<fs::path> folders{links, units / "default.target.wants", units};
  for (const auto& removed : QSDesktopEntries::remove()) folders.push_back(removed.parent_path());
  for (const auto& folder : folders) tryRemoveEmptyFolders(folder, places_.home);
}

std::optional<std::string> QSUninstaller::stopEngines() const {
  try {
    QSDatabaseService(places_.dataDirectory).stopEveryEngine();
    return std::nullopt;
  } catch (const std::exception& e) {
    return "Couldn't stop the database engines, so nothing was deleted: " + std::string(e.what());
  }
}

void QSUninstaller::deleteData() const {
  if (auto problem = dataDirectoryProblem()) throw std::runtime_error(*problem);
  removeTree(places_.dataDirectory);
  removeTree(places_.settingsDirectory);
  tryRemoveEmptyFolders(places_.dataDirectory.parent_path(), places_.home);
  tryRemoveEmptyFolders(places_.settingsDirectory.parent_path(), places_.home);
}

std::optional<std::string> QSUninstaller::dataDirectoryProblem() const {
  const fs::path& data = places_.dataDirectory;
  std::string refusal = "Won't delete app data at '" + data.string() + "': ";
  if (!data.is_absolute())
    return refusal + "that isn't an absolute path, so it would be found from the current folder. Set HOME (or "
                     "XDG_DATA_HOME) to an absolute folder and try again.";
  if (hasDotComponents(data))
    return refusal + "the path goes through '.' or '..'. Set XDG_DATA_HOME to a plain absolute folder and try again.";
  std::vector<std::pair<fs::path, std::string>> kept{{places_.home, "your home folder"},
                                                     {places_.projectsFolder, "your projects folder"}};
  for (const auto& folder : recordedProjectFolders(data)) kept.emplace_back(folder, "the project folder");
  fs::path real = realLocation(data);
  for (const auto& [folder, what] : kept) {
    if (folder.empty() || !folder.is_absolute()) continue;
    if (isWithin(folder.lexically_normal(), data) || isWithin(realPath(folder), real))
      return refusal + "it holds " + what + " " + folder.string() +
             ". Move that elsewhere (or point XDG_DATA_HOME at another folder) and try again.";
  }
  return std::nullopt;
}

}  // namespace qs

// Project commands: projects (ls), add, info, rm, rename, new, pin, autostart, watch.
#include "bin/qs/cli_commands.h"
#include "bin/qs/json_output.h"
#include "bin/qs/output.h"
#include "bin/qs/project_resolver.h"

#include "core/platform/paths.h"
#include "core/platform/regex.h"
#include "core/platform/terminal.h"
#include "core/platform/utf8.h"
#include "core/runtime/project_scaffold.h"
#include "core/runtime/toolchain_service.h"

#include <fmt/format.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>

namespace qs {
namespace {

namespace fs = std::filesystem;

// A relative folder means one below the folder qs was started in; the daemon has its own.
std::string absoluteFolder(const std::string& path) {
  std::string text = fs::absolute(path).lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

// Names and folders travel as UTF-8 text: anything else would reach the daemon changed.
void requireText(const std::string& name, const std::string& folder) {
  if (!isValidUTF8(name)) throw QSCliError(QSScaffoldError(scaffoldError::NameNotText{}).message());
  if (!isValidUTF8(folder))
    throw QSCliError("The folder's path is not valid UTF-8 text, which Quayside cannot store unchanged: rename it.");
}

asio::awaitable<QSServer> serverOf(QSCliSession& session, QSUUID projectID) {
  QSDaemonCommand get = cmd::GetServerStatus{projectID};
  res::Server server = co_await session.request<res::Server>(get);
  co_return server.value;
}

void printProject(QSCliSession& session, const std::string& headline, const QSProject& project,
                  const std::optional<QSServer>& server = std::nullopt) {
  if (session.json) {
    fmt::print("{}", jsonText(project));
    return;
  }
  if (!headline.empty()) fmt::print("{}\n\n", headline);
  fmt::print("{}", formatProjectDetails(project, server));
}

asio::awaitable<int> listProjects(QSCliSession& session) {
  QSDaemonCommand list = cmd::ListProjects{};
  res::Projects projects = co_await session.request<res::Projects>(list);
  fmt::print("{}", session.json ? jsonText(projects.value) : formatProjectList(projects.value, standardOutputWidth()));
  // An empty list may only mean that the saved one could not be read.
  QSDaemonCommand health = cmd::Health{};
  res::Health report = co_await session.request<res::Health>(health);
  if (report.value.stateLoadWarning) printError("warning: " + *report.value.stateLoadWarning);
  co_return QSExitCode::success;
}

asio::awaitable<int> addProject(QSCliSession& session, std::string path) {
  std::string folder = absoluteFolder(path);
  requireText("", folder);
  QSDaemonCommand add = cmd::AddProject{folder};
  res::Project added = co_await session.request<res::Project>(add);
  printProject(session, "Added " + added.value.name + ".", added.value);
  co_return QSExitCode::success;
}

asio::awaitable<int> showProject(QSCliSession& session, std::string query) {
  QSProject project = co_await findProject(session, query);
  QSServer server = co_await serverOf(session, project.id);
  printProject(session, "", project, server);
  co_return QSExitCode::success;
}

struct RemoveOptions {
  std::string project;
  bool dropDatabase = false;
  bool trash = false;
  bool yes = false;
};

std::string removalQuestion(const QSProject& project, const RemoveOptions& options) {
  std::string question = "Remove " + project.name + " (" + project.path.string() + ") from Quayside?";
  question += options.trash ? " Its folder goes to the Trash." : " Its folder stays where it is.";
  if (options.dropDatabase) question += " Its databases are dropped.";
  return question;
}

asio::awaitable<int> removeProject(QSCliSession& session, RemoveOptions options) {
  QSProject project = co_await findProject(session, options.project);
  if (!options.yes) {
    if (!isTerminal(STDIN_FILENO))
      throw QSCliError("Not removing " + project.name +
                       " without confirmation: standard input isn't a terminal. Pass -y to confirm.");
    if (!confirm(removalQuestion(project, options))) throw QSCliError("Cancelled; nothing was removed.");
  }
  QSDaemonCommand remove = cmd::RemoveProject{project.id, options.dropDatabase, options.trash};
  co_await session.request<res::Ok>(remove);
  fmt::print("Removed {}.{}\n", project.name, options.trash ? " Its folder is in the Trash." : "");
  co_return QSExitCode::success;
}

asio::awaitable<int> renameProject(QSCliSession& session, std::string query, std::string newName) {
  requireText(newName, "");
  QSProject project = co_await findProject(session, query);
  QSDaemonCommand rename = cmd::RenameProject{project.id, newName};
  res::Project renamed = co_await session.request<res::Project>(rename);
  printProject(session, "Renamed " + project.name + " to " + renamed.value.name + ".", renamed.value);
  co_return QSExitCode::success;
}

struct NewOptions {
  std::string name;
  std::string parent;
  int port = 8080;
  bool errorPages = false;
  bool noGit = false;
  std::string database;
};

asio::awaitable<int> createProject(QSCliSession& session, NewOptions options) {
  requireText(options.name, options.parent);
  QSProjectScaffold::Options scaffold;
  scaffold.name = options.name;
  scaffold.parentDirectory = options.parent.empty() ? QSPaths::projectsFolder() : fs::path(absoluteFolder(options.parent));
  scaffold.port = options.port;
  scaffold.initializeGitRepository = !options.noGit;
  scaffold.includeErrorPages = options.errorPages;
  if (!options.database.empty()) scaffold.databaseType = fromRawValue<QSDatabaseType>(options.database);
  QSDaemonCommand create = cmd::CreateProject{scaffold};
  res::Project created = co_await session.request<res::Project>(create);
  printProject(session, "Created " + created.value.name + " in " + created.value.path.string() + ".", created.value);
  if (!session.json) fmt::print("\nStart it with 'qs start {} --wait'.\n", created.value.name);
  co_return QSExitCode::success;
}

struct PinOptions {
  std::string project;
  std::string version;
  bool clear = false;
};

// A pin no installed toolchain has is allowed (it may be installed next), but the user hears
// which versions there are and what builds the project meanwhile.
std::string missingToolchainNote(const std::string& version, const std::string& project,
                                 const std::vector<QSToolchain>& toolchains) {
  std::string installed;
  std::optional<std::string> fallback;
  for (const auto& t : toolchains) {
    if (t.isDefault) {
      fallback = t.version;
      continue;
    }
    installed += (installed.empty() ? "" : ", ") + t.version + " (" + t.path.string() + ")";
  }
  return "Swift " + version + " isn't installed; installed: " + (installed.empty() ? "none" : installed) + ". " +
         (fallback ? "Until it is, " + project + " builds with the default compiler, Swift " + *fallback + "."
                   : "Install it with swiftly or into /opt/swift before starting " + project + ".");
}

asio::awaitable<int> pinProject(QSCliSession& session, PinOptions options) {
  // Toolchains are chosen by their dotted version number, so nothing else could ever match.
  static const QSRegex dottedVersion(R"(\d+\.\d+(\.\d+)?)");
  if (options.clear == !options.version.empty())
    throw QSCliError("Give either a VERSION (like 6.0.3) or --clear.", QSExitCode::usage);
  if (!options.clear && !dottedVersion.fullMatch(options.version))
    throw QSCliError("'" + options.version + "' isn't a Swift version; give one like 6.0 or 6.0.3.",
                     QSExitCode::usage);

  QSProject found = co_await findProject(session, options.project);
  std::optional<std::string> version;
  if (!options.clear) version = options.version;
  QSDaemonCommand pin = cmd::PinSwiftVersion{found.id, version};
  QSProject updated = (co_await session.request<res::Project>(pin)).value;
  std::string headline = options.clear ? updated.name + " now builds with the default toolchain."
                                       : "Pinned " + updated.name + " to Swift " + options.version + ".";
  printProject(session, headline, updated);
  if (version && !session.json) {
    QSDaemonCommand list = cmd::ListToolchains{};
    auto toolchains = (co_await session.request<res::Toolchains>(list)).value;
    if (!QSToolchainService::selectToolchain(version, toolchains))
      fmt::print("\n{}\n", missingToolchainNote(*version, updated.name, toolchains));
  }
  co_return QSExitCode::success;
}

struct AutoStartOptions {
  std::string project;
  std::string choice;  // "on", "off", or empty to show the setting
};

asio::awaitable<int> setAutoStart(QSCliSession& session, AutoStartOptions options) {
  QSProject project;
  if (options.choice.empty()) {
    project = co_await findProject(session, options.project);
  } else {
    QSProject found = co_await findProject(session, options.project);
    QSDaemonCommand setting = cmd::SetAutoStart{found.id, options.choice == "on"};
    project = (co_await session.request<res::Project>(setting)).value;
  }
  if (session.json) {
    fmt::print("{}", jsonText(output::ProjectSwitch{project.name, "autoStart", project.runsServerAtLogin()}));
  } else if (project.runsServerAtLogin()) {
    fmt::print("{}'s server starts whenever the daemon starts.\n", project.name);
  } else {
    fmt::print("{}'s server starts only when you start it.\n", project.name);
  }
  co_return QSExitCode::success;
}

asio::awaitable<int> setWatch(QSCliSession& session, AutoStartOptions options) {
  QSProject project = co_await findProject(session, options.project);
  if (!options.choice.empty()) {
    QSDaemonCommand setting = cmd::SetWatch{project.id, options.choice == "on"};
    project = (co_await session.request<res::Project>(setting)).value;
  }
  if (session.json) {
    fmt::print("{}", jsonText(output::ProjectSwitch{project.name, "watch", project.watchesSources()}));
  } else if (project.watchesSources()) {
    fmt::print("Watching {}: while its server runs, saving a file in Sources/, Package.swift or Package.resolved "
               "rebuilds it and restarts it on the new build.\n",
               project.name);
  } else {
    fmt::print("{} isn't watched: restart it yourself after a change.\n", project.name);
  }
  co_return QSExitCode::success;
}

void addListCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "projects", "List the projects the daemon knows",
                             "  qs projects\n  qs ls --json\n");
  command->alias("ls");
  addJsonFlag(command, session);
  onRun(command, session, [&session] { return listProjects(session); });
}

void addAddCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "add", "Add an existing Vapor project (a folder whose Package.swift uses Vapor)",
                             "  qs add .\n  qs add ~/code/blog --json\n");
  auto path = std::make_shared<std::string>();
  command->add_option("PATH", *path, "The project folder (relative to the current folder)")->required();
  addJsonFlag(command, session);
  onRun(command, session, [&session, path] { return addProject(session, *path); });
}

void addInfoCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "info", "Show a project: folder, port, toolchain, server, domain",
                             "  qs info blog\n  qs info 6F1C0E7A-3B0D-4C55-9A51-2E1E9B0C2D11 --json\n");
  auto project = std::make_shared<std::string>();
  command->add_option("PROJECT", *project, "The project's name or id")->required();
  addJsonFlag(command, session);
  onRun(command, session, [&session, project] { return showProject(session, *project); });
}

void addRemoveCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "rm",
                             "Remove a project from Quayside (its server is stopped; the folder stays unless --trash)",
                             "  qs rm blog\n  qs rm blog --trash -y\n");
  auto options = std::make_shared<RemoveOptions>();
  command->add_option("PROJECT", options->project, "The project's name or id")->required();
  command->add_flag("--drop-database", options->dropDatabase, "Also drop the project's linked databases");
  command->add_flag("--trash", options->trash, "Also move the project folder to the Trash");
  command->add_flag("-y,--yes", options->yes, "Don't ask for confirmation (needed when not on a terminal)");
  onRun(command, session, [&session, options] { return removeProject(session, *options); });
}

void addRenameCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "rename", "Rename a project: its folder and its package name change with it",
                             "  qs rename blog journal\n");
  auto project = std::make_shared<std::string>();
  auto newName = std::make_shared<std::string>();
  command->add_option("PROJECT", *project, "The project's name or id")->required();
  command->add_option("NEW_NAME", *newName, "The new name")->required();
  addJsonFlag(command, session);
  onRun(command, session, [&session, project, newName] { return renameProject(session, *project, *newName); });
}

void addNewCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "new", "Create a new Vapor project and add it",
                             "  qs new blog\n  qs new shop --dir ~/code --port 8081 --database postgresql\n"
                             "  qs new docs --error-pages --no-git\n");
  auto options = std::make_shared<NewOptions>();
  command->add_option("NAME", options->name, "The project's name (also its folder's name)")->required();
  command->add_option("--dir", options->parent, "The folder to create it in (default ~/Quayside)");
  command->add_option("--port", options->port, "The port its server listens on")
      ->check(CLI::Range(1, 65535))
      ->capture_default_str();
  command->add_flag("--error-pages", options->errorPages, "Add custom 404 and 500 pages");
  command->add_flag("--no-git", options->noGit, "Don't create a git repository");
  command->add_option("--database", options->database,
                      "The kind of database the project is meant for (passed along; no driver code is added)")
      ->check(CLI::IsMember({"postgresql", "mysql", "sqlite", "redis"}));
  addJsonFlag(command, session);
  onRun(command, session, [&session, options] { return createProject(session, *options); });
}

void addPinCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "pin", "Pin the Swift version a project builds with (written to .swift-version)",
                             "  qs pin blog 6.0.3\n  qs pin blog --clear\n");
  auto options = std::make_shared<PinOptions>();
  command->add_option("PROJECT", options->project, "The project's name or id")->required();
  auto* version = command->add_option("VERSION", options->version, "A Swift version, like 6.0.3");
  command->add_flag("--clear", options->clear, "Go back to the default toolchain")->excludes(version);
  addJsonFlag(command, session);
  onRun(command, session, [&session, options] { return pinProject(session, *options); });
}

void addAutoStartCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "autostart", "Start a project's server whenever the daemon starts (or stop doing so)",
                             "  qs autostart blog on\n  qs autostart blog off\n  qs autostart blog      show the setting\n");
  auto options = std::make_shared<AutoStartOptions>();
  command->add_option("PROJECT", options->project, "The project's name or id")->required();
  command->add_option("SETTING", options->choice, "on or off; leave out to show the setting")
      ->check(CLI::IsMember({"on", "off"}));
  addJsonFlag(command, session);
  onRun(command, session, [&session, options] { return setAutoStart(session, *options); });
}

void addWatchCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "watch", "Rebuild and restart a project's server whenever its sources are saved",
                             "  qs watch blog on\n  qs watch blog off\n  qs watch blog      show the setting\n"
                             "  qs start blog --watch    start it with watch mode on\n");
  auto options = std::make_shared<AutoStartOptions>();
  command->add_option("PROJECT", options->project, "The project's name or id")->required();
  command->add_option("SETTING", options->choice, "on or off; leave out to show the setting")
      ->check(CLI::IsMember({"on", "off"}));
  addJsonFlag(command, session);
  onRun(command, session, [&session, options] { return setWatch(session, *options); });
}

}  // namespace

void addProjectCommands(CLI::App& app, QSCliSession& session) {
  addListCommand(app, session);
  addAddCommand(app, session);
  addInfoCommand(app, session);
  addRemoveCommand(app, session);
  addRenameCommand(app, session);
  addNewCommand(app, session);
  addPinCommand(app, session);
  addAutoStartCommand(app, session);
  addWatchCommand(app, session);
}

}  // namespace qs

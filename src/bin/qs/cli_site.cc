// Site commands: site import, site export, site resync, site preview.
#include "bin/qs/cli_commands.h"
#include "bin/qs/json_output.h"
#include "bin/qs/output.h"
#include "bin/qs/project_resolver.h"

#include "app/site/pages_decoding.h"
#include "app/site/site_error.h"
#include "app/site/site_import.h"
#include "app/site/site_preview.h"
#include "app/site/site_resync.h"
#include "app/site/sync_manifest.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/private_file.h"
#include "core/platform/process_runner.h"
#include "core/platform/terminal.h"
#include "core/runtime/git_service.h"

#include <fmt/format.h>

#include <filesystem>
#include <memory>

namespace qs {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kInitialCommit = "Initial commit from Quayside";
// A project's preview: inside ".build", which the project's .gitignore keeps out of git.
constexpr std::string_view kProjectPreviewFolder = ".build/site-preview";

fs::path absolutePath(const std::string& path) { return fs::absolute(path).lexically_normal(); }

// "~/Quayside/shop" for folders under the home folder.
std::string displayPath(const fs::path& path) {
  std::string text = path.string(), home = QSPaths::home().string();
  if (!home.empty() && text.rfind(home + "/", 0) == 0) return "~" + text.substr(home.size());
  return text;
}

QSPagesProject readDocument(const fs::path& document) {
  if (!fileExists(document)) throw QSCliError("No document at " + document.string() + ".");
  return readPagesDocument(document);
}

// The exporter's log lines, on standard error as the tool's other diagnostics.
void exportLog(const std::string& line) { fmt::print(stderr, "qs: {}\n", line); }

// Runs a site operation, turning its failures into the tool's own.
template <class F>
auto siteStep(F&& step) -> decltype(step()) {
  try {
    return step();
  } catch (const QSSiteException& e) {
    throw QSCliError(e.what());
  }
}

struct ImportOptions {
  std::string document;
  std::string name;
  bool noGit = false;
};

asio::awaitable<int> importSite(QSCliSession& session, ImportOptions options) {
  // Ask the daemon first: without it nothing should be written.
  QSDaemonCommand list = cmd::ListProjects{};
  res::Projects projects = co_await session.request<res::Projects>(list);
  QSSiteImportRequest request;
  request.document = absolutePath(options.document);
  request.name = options.name;
  request.projectsFolder = QSPaths::projectsFolder();
  for (const auto& project : projects.value) request.existingProjectNames.push_back(project.name);
  QSSiteImportResult imported = siteStep([&] {
    if (!fileExists(request.document)) throw QSCliError("No document at " + request.document.string() + ".");
    return importSiteDocument(request, QSFontLibrary::system(), exportLog);
  });
  bool committed = !options.noGit && QSGitService::initializeRepository(imported.folder, std::string(kInitialCommit));

  QSDaemonCommand add = cmd::AddProject{imported.folder.string()};
  res::Project added = co_await session.request<res::Project>(add);
  if (session.json) {
    auto files = static_cast<std::int64_t>(imported.exported.files.size());
    fmt::print("{}", jsonText(output::SiteImported{added.value, files, imported.exported.hasForms, committed}));
    co_return QSExitCode::success;
  }
  fmt::print("Imported {} into {}: {} files{}{}.\n\n", request.document.filename().string(),
             displayPath(imported.folder), imported.exported.files.size(),
             imported.exported.hasForms ? ", with form handling (PostgreSQL from DB_HOST, DB_USER, DB_NAME…)" : "",
             committed ? ", committed to a new git repository" : "");
  fmt::print("{}", formatProjectDetails(added.value, std::nullopt));
  fmt::print("\nStart it with 'qs start {} --wait'; bring later design changes in with 'qs site resync {}'.\n",
             added.value.name, added.value.name);
  co_return QSExitCode::success;
}

struct ExportOptions {
  std::string document;
  std::string out;
  bool force = false;
};

asio::awaitable<int> exportSite(ExportOptions options) {
  QSSiteExportRequest request{absolutePath(options.document), absolutePath(options.out), options.force};
  if (!fileExists(request.document)) throw QSCliError("No document at " + request.document.string() + ".");
  std::string shown = displayPath(request.folder);
  ExportedVaporProject exported;
  try {
    exported = exportSiteDocument(request, QSFontLibrary::system(), exportLog);
  } catch (const QSSiteException& e) {
    if (e.error().is<siteError::AlreadyExported>())
      throw QSCliError(fmt::format(
          "{} is a project exported from a document already. Bring design changes in with 'qs site resync {} {}', "
          "which keeps your code, or give --force to write every exported file over it.",
          shown, request.folder.string(), request.document.string()));
    if (e.error().is<siteError::FolderNotEmpty>())
      throw QSCliError(fmt::format("{} holds files already. Export into a new or empty folder, or give --force "
                                   "to write the exported files over the ones of the same names.",
                                   shown));
    throw QSCliError(e.what());
  }
  fmt::print("Exported {} files to {}.\n", exported.files.size(), shown);
  co_return QSExitCode::success;
}

// The folder a PROJECT argument names: a folder path as it is, else a project of the daemon.
asio::awaitable<fs::path> projectFolder(QSCliSession& session, const std::string& argument) {
  if (argument.find('/') != std::string::npos || argument == "." || argument == "..") {
    fs::path folder = absolutePath(argument);
    if (!isDirectory(folder)) throw QSCliError("No folder at " + folder.string() + ".");
    co_return folder;
  }
  QSProject project = co_await findProject(session, argument);
  co_return project.path;
}

struct ResyncOptions {
  std::string project;
  std::string document;
  bool keepMine = false;
  bool overwrite = false;
  bool dryRun = false;
  bool remember = false;
};

void printList(std::string_view title, const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  fmt::print("  {} ({}):\n", title, paths.size());
  for (const auto& path : paths) fmt::print("    {}\n", path);
}

void printPlan(const QSResyncPlan& plan, const fs::path& document) {
  fmt::print("Re-sync plan for {} from {}:\n", displayPath(plan.directory), displayPath(document));
  printList("Update", plan.designUpdates);
  printList("Conflicts, edited since the last export", plan.conflicts);
  printList("Conflicts, your own files where the design now puts one", plan.unownedConflicts);
  printList("Remove", plan.prunes);
  printList("Add missing scaffold files", plan.scaffoldAdditions);
  printList("Refused, outside the project folder", plan.refused);
  if (plan.structuralChangeNeeded)
    fmt::print("\n{}\n{}\n", QSResyncTexts::structuralTitle, QSResyncTexts::structuralBefore);
}

void printReport(const QSResyncReport& report) {
  fmt::print("\nRe-synced:\n");
  printList("Updated", report.updated);
  printList("Removed", report.pruned);
  printList("Scaffold files added", report.scaffoldAdded);
  printList("Kept your edits", report.skippedConflicts);
  printList("Overwrote your edits", report.overwrittenConflicts);
  printList("Kept your own files", report.keptUnowned);
  printList("Overwrote your own files", report.overwrittenUnowned);
  printList("Refused, outside the project folder", report.refused);
  if (report.structuralChangeNeeded) fmt::print("\n{}\n", QSResyncTexts::structuralAfter);
}

// Whether a document given on the command line becomes the project's source from now on: with
// --remember, or when the user says so at the terminal; otherwise the user is told how.
bool rememberDocument(const ResyncOptions& options, const fs::path& document,
                      const std::optional<fs::path>& previous) {
  if (previous && *previous == document) return false;
  std::string was = previous ? displayPath(*previous) : "no document";
  if (options.remember) return true;
  if (!options.dryRun && isTerminal(0) && isTerminal(1))
    return confirm(
        fmt::format("Make {} this project's document from now on (instead of {})?", displayPath(document), was));
  fmt::print("\nThis re-sync uses {}; the project still follows {}. "
             "Give --remember to follow {} from now on.\n",
             displayPath(document), was, displayPath(document));
  return false;
}

asio::awaitable<int> resyncSite(QSCliSession& session, ResyncOptions options) {
  if (options.keepMine && options.overwrite)
    throw QSCliError("Give either --keep-mine or --overwrite, not both.", QSExitCode::usage);
  if (options.remember && options.document.empty())
    throw QSCliError("--remember needs the document to remember: qs site resync PROJECT DOC --remember.",
                     QSExitCode::usage);
  fs::path folder = co_await projectFolder(session, options.project);
  auto manifest = QSSyncManifest::read(folder);
  if (!manifest) throw QSCliError(QSSiteError(siteError::NotASyncedProject{}).message());
  std::optional<fs::path> followed;
  if (manifest->sourceBrpBookmark) followed = QSSyncManifest::bookmarkedPath(*manifest->sourceBrpBookmark);
  fs::path document;
  if (!options.document.empty()) {
    document = absolutePath(options.document);
  } else {
    if (!followed || !fileExists(*followed))
      throw QSCliError(QSSiteError(siteError::SourceDocumentMissing{}).message());
    document = *followed;
  }
  QSResyncPlan plan =
      siteStep([&] { return planResync(readDocument(document), folder, QSFontLibrary::system(), exportLog); });
  printPlan(plan, document);
  std::size_t conflicts = plan.conflicts.size() + plan.unownedConflicts.size();
  bool remember = !options.document.empty() && rememberDocument(options, document, followed);
  if (options.dryRun) co_return QSExitCode::success;
  if (conflicts != 0 && !options.keepMine && !options.overwrite)
    throw QSCliError(fmt::format("{} file{} would be written over: generated files changed since the last "
                                 "export, or files of your own. Re-run with --keep-mine to keep them or "
                                 "--overwrite to replace them.",
                                 conflicts, conflicts == 1 ? "" : "s"));
  if (remember) plan.sourceBrpBookmark = QSSyncManifest::bookmark(document);
  QSResyncPolicy policy = options.overwrite ? QSResyncPolicy::overwriteConflicts : QSResyncPolicy::keepConflicts;
  printReport(applyResync(plan, policy));
  if (remember) fmt::print("\nThe project follows {} from now on.\n", displayPath(document));
  co_return QSExitCode::success;
}

struct PreviewOptions {
  std::string source;
  std::string out;
  bool open = false;
};

asio::awaitable<int> previewSite(QSCliSession& session, PreviewOptions options) {
  QSSitePreview::QSPreviewSource source;
  fs::path out;
  fs::path given = absolutePath(options.source);
  if (fileExists(given) && !isDirectory(given)) {
    QSVaporExporter exporter(QSFontLibrary::system(), exportLog);
    ExportedVaporProject exported = siteStep([&] { return exporter.exportProject(readDocument(given), "QuaysideSite"); });
    source = QSSitePreview::fromExport(exported);
  } else {
    fs::path folder = co_await projectFolder(session, options.source);
    source = QSSitePreview::fromFolder(folder);
    if (!source.views.count("base")) throw QSCliError(displayPath(folder) + " has no generated views to preview.");
    out = folder / kProjectPreviewFolder;
  }
  if (!options.out.empty()) out = absolutePath(options.out);
  // A document's preview goes to a new private folder: a predictable one in the shared temporary
  // folder could be another user's, or hold their links.
  if (out.empty())
    out = createPrivateTemporaryFolder(QSPaths::temporaryFolder(),
                                       "quayside-preview-" + sanitizedProjectName(given.stem().string()) +
                                           "-");
  auto files = QSSitePreview::flatten(source);
  createDirectories(out);
  writeExportedFiles(out, files, true);  // a preview is always ours to overwrite; links are not followed
  fs::path index = out / "index.html";
  fmt::print("Wrote a preview of {} pages to {}.\nOpen {}\n", source.views.size() - 1, displayPath(out),
             fileURLString(index));
  if (options.open) {
    auto opener = findExecutable("xdg-open");
    if (!opener) throw QSCliError("Can't open a browser here (no xdg-open); open the address above yourself.");
    runProcess({opener->string(), index.string()});
  }
  co_return QSExitCode::success;
}

void addImportCommand(CLI::App& site, QSCliSession& session) {
  auto* command = addCommand(site, "import",
                             "Turn a Brindle Pages document into a Vapor project in ~/Quayside and add it",
                             "  qs site import ~/Downloads/shop.brp\n"
                             "  qs site import shop.brp --name storefront --no-git --json\n");
  auto options = std::make_shared<ImportOptions>();
  command->add_option("DOC", options->document, "The .brp document")->required();
  command->add_option("--name", options->name, "The project's name (default: the document's file name)");
  command->add_flag("--no-git", options->noGit, "Don't create a git repository");
  addJsonFlag(command, session);
  onRun(command, session, [&session, options] { return importSite(session, *options); });
}

void addExportCommand(CLI::App& site, QSCliSession& session) {
  auto* command = addCommand(site, "export", "Write a document's Vapor project files into a folder (no project record)",
                             "  qs site export shop.brp --out ~/code/shop\n"
                             "  qs site export shop.brp --out ~/code/shop --force   write over what is there\n");
  auto options = std::make_shared<ExportOptions>();
  command->add_option("DOC", options->document, "The .brp document")->required();
  command->add_option("--out", options->out, "The folder to write into (created when missing; must be empty)")
      ->required();
  command->add_flag("--force", options->force,
                    "Write into a folder that holds files, replacing those of the same names");
  onRun(command, session, [options] { return exportSite(*options); });
}

void addResyncCommand(CLI::App& site, QSCliSession& session) {
  auto* command = addCommand(site, "resync",
                             "Bring design changes from the document into a project, leaving your code alone",
                             "  qs site resync shop --dry-run          show the plan only\n"
                             "  qs site resync shop ~/Downloads/shop.brp --keep-mine\n"
                             "  qs site resync shop ~/Designs/shop-v2.brp --remember   follow the new document\n"
                             "  qs site resync ~/Quayside/shop --overwrite\n");
  auto options = std::make_shared<ResyncOptions>();
  command->add_option("PROJECT", options->project, "The project's name or id, or its folder")->required();
  command->add_option("DOC", options->document, "The .brp document (default: the one it was imported from)");
  command->add_flag("--keep-mine", options->keepMine, "Keep generated files you edited (Keep My Edits)");
  command->add_flag("--overwrite", options->overwrite, "Replace generated files you edited (Overwrite All)");
  command->add_flag("--dry-run", options->dryRun, "Print the plan and change nothing");
  command->add_flag("--remember", options->remember,
                    "Make DOC the project's document from now on (asked at a terminal otherwise)");
  onRun(command, session, [&session, options] { return resyncSite(session, *options); });
}

void addPreviewCommand(CLI::App& site, QSCliSession& session) {
  auto* command = addCommand(site, "preview", "Write static HTML pages of a document or project to look at in a browser",
                             "  qs site preview shop.brp --open\n"
                             "  qs site preview shop --out /tmp/shop-preview\n");
  auto options = std::make_shared<PreviewOptions>();
  command->add_option("SOURCE", options->source, "A .brp document, or a project's name, id or folder")->required();
  command->add_option("--out", options->out,
                      "The folder to write into (default: a new private temporary folder, or the project's "
                      ".build/site-preview)");
  command->add_flag("--open", options->open, "Open the home page in the browser");
  onRun(command, session, [&session, options] { return previewSite(session, *options); });
}

}  // namespace

void addSiteCommands(CLI::App& app, QSCliSession& session) {
  auto* site = addCommand(app, "site", "Site builder documents: import, export, re-sync, preview",
                          "  qs site import ~/Downloads/shop.brp\n  qs site resync shop --dry-run\n");
  site->require_subcommand(1);
  addImportCommand(*site, session);
  addExportCommand(*site, session);
  addResyncCommand(*site, session);
  addPreviewCommand(*site, session);
}

}  // namespace qs

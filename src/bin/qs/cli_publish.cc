// Publishing commands: package, publish. The publish runs here, in the foreground; the daemon
// is asked only for the project's record.
#include "bin/qs/cli_commands.h"
#include "bin/qs/project_resolver.h"
#include "bin/qs/publish_options.h"
#include "bin/qs/publish_renderer.h"
#include "bin/qs/terminal_text.h"

#include "app/publish/hosting_configuration.h"
#include "app/publish/hub_token_service.h"
#include "app/publish/project_packager.h"
#include "app/publish/publish_error.h"
#include "app/publish/publish_service.h"
#include "core/platform/files.h"
#include "core/platform/settings.h"
#include "core/platform/terminal.h"

#include <asio/experimental/awaitable_operators.hpp>
#include <asio/signal_set.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <fmt/format.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace qs {
namespace {

namespace fs = std::filesystem;
using namespace asio::experimental::awaitable_operators;

// The folder of the project `argument` names (a name, an id, or a folder path), which must
// still exist.
asio::awaitable<fs::path> existingProjectFolder(QSCliSession& session, const std::string& argument) {
  if (argument.find('/') != std::string::npos || argument == "." || argument == "..") {
    fs::path folder = fs::absolute(argument).lexically_normal();
    if (folder.filename().empty()) folder = folder.parent_path();  // "." and "dir/" end in a separator
    if (!isDirectory(folder)) throw QSCliError("No folder at " + folder.string() + ".");
    co_return folder;
  }
  QSProject project = co_await findProject(session, argument);
  if (!isDirectory(project.path))
    throw QSCliError(fmt::format("The folder of {} is gone ({}). Move it back, or remove the project with 'qs rm {}'.",
                                 project.name, project.path.string(), project.name));
  co_return project.path;
}

// Runs a packaging step, turning its failures into the tool's own.
template <class T>
asio::awaitable<T> packagingStep(asio::awaitable<T> step) {
  try {
    co_return co_await std::move(step);
  } catch (const QSPackagingException& e) {
    throw QSCliError(e.what());
  }
}

struct PackageOptions {
  std::string project;
  std::string zip;
  std::string tar;
  bool excludeEnv = false;
};

// The archive's path: the one given, or "<project>.<extension>" in it when it names a folder.
fs::path archivePath(const std::string& given, const fs::path& projectFolder, const std::string& extension) {
  fs::path destination = fs::absolute(given).lexically_normal();
  bool folder = given.ends_with('/') || isDirectory(destination);
  if (destination.filename().empty()) destination = destination.parent_path();  // "dir/" ends in a separator
  if (folder) destination /= projectFolder.filename().string() + extension;
  if (!isDirectory(destination.parent_path()))
    throw QSCliError("No folder at " + destination.parent_path().string() + " to write the archive into.");
  return destination;
}

// "Skipped 2 entries that no archive can hold (sockets, FIFOs, devices): run/app.sock, tmp/pipe".
void sayWhatIsSkipped(const std::vector<std::string>& skipped) {
  if (skipped.empty()) return;
  std::vector<std::string> shown;
  for (const auto& path : skipped) shown.push_back(terminalSafeLine(path));
  fmt::print("Skipped {} {} that no archive can hold (sockets, FIFOs, devices): {}\n", skipped.size(),
             skipped.size() == 1 ? "entry" : "entries", fmt::join(shown, ", "));
}

asio::awaitable<int> packageProject(QSCliSession& session, PackageOptions options) {
  if (options.zip.empty() == options.tar.empty())
    throw QSCliError("Give either --zip FILE or --tar FILE.", QSExitCode::usage);
  fs::path folder = co_await existingProjectFolder(session, options.project);
  QSProjectPackager packager;
  std::vector<std::string> excludes = QSProjectPackager::defaultExcludes;
  if (options.excludeEnv) excludes.push_back(".env");
  fs::path destination = options.zip.empty() ? archivePath(options.tar, folder, ".tar.gz")
                                             : archivePath(options.zip, folder, ".zip");
  if (!options.zip.empty()) {
    co_await packagingStep(packager.exportZip(folder, destination, excludes));
  } else {
    fs::path archive = co_await packagingStep(packager.package(folder, excludes, destination.parent_path()));
    try {
      moveItem(archive, destination);
    } catch (...) {
      tryRemoveFile(archive);
      throw;
    }
  }
  sayWhatIsSkipped(QSProjectPackager::specialEntries(folder, excludes));
  fmt::print("Wrote {} ({} without {}).\n", destination.string(), folder.filename().string(),
             fmt::join(excludes, ", "));
  co_return QSExitCode::success;
}

struct PublishCommandOptions {
  std::string project;
  std::string subdomain;
  std::vector<std::string> runtimeOptions;
  std::optional<bool> database;
  bool withDatabase = false;
  bool withoutDatabase = false;
  bool excludeEnv = false;
};

// Redraws the live status line every second until the publish ends (it is cancelled then).
asio::awaitable<void> tickEverySecond(QSPublishRenderer& renderer) {
  asio::steady_timer timer(co_await asio::this_coro::executor);
  for (;;) {
    timer.expires_after(std::chrono::seconds(1));
    co_await timer.async_wait(asio::use_awaitable);
    renderer.tick();
  }
}

// Ends with the first Ctrl-C (or SIGTERM); its cancellation stops the publish at its next step.
asio::awaitable<void> interrupted() {
  asio::signal_set signals(co_await asio::this_coro::executor, SIGINT, SIGTERM);
  co_await signals.async_wait(asio::use_awaitable);
}

void writeOut(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

asio::awaitable<int> publishProject(QSCliSession& session, PublishCommandOptions options) {
  if (options.withDatabase && options.withoutDatabase)
    throw QSCliError("Give either --database or --no-database, not both.", QSExitCode::usage);
  QSServerOptions machine = parseRuntimeOptions(options.runtimeOptions);
  fs::path folder = co_await existingProjectFolder(session, options.project);
  std::string subdomain = options.subdomain.empty() ? defaultSubdomain(folder.filename().string()) : options.subdomain;
  if (auto problem = subdomainProblem(subdomain)) {
    problem->insert(problem->size() - 1, " (--subdomain)");
    throw QSCliError(*problem, QSExitCode::usage);
  }

  QSSettings settings = QSSettings::standard();
  std::string key = QSHostingConfiguration::apiKey(settings);
  if (key.empty())
    throw QSCliError(QSPublishError(publishError::NotConfigured{}).message() +
                     " Store one with 'qs hosting login', or set QS_HOSTING_API_KEY.");
  QSHubTokenService tokens(QSHostingConfiguration::hubBaseURL(settings), QSHTTPSession::shared());
  QSPublishService service(QSHostingClient::make(QSHostingConfiguration::hostingBaseURL(), key, tokens));

  auto mode = session.json ? QSPublishRenderer::Mode::json
                           : (isTerminal(1) ? QSPublishRenderer::Mode::live : QSPublishRenderer::Mode::plain);
  QSPublishRenderer renderer(mode, &writeOut, &QSTime::now, terminalColumns(1).value_or(80));
  service.onPhaseChange = [&](const QSPublishPhase& phase) {
    renderer.phaseChanged(phase, service.phaseStartedAt(), service.failedDuring());
  };
  service.onConsoleLines = [&](const std::vector<std::string>& lines) { renderer.logLines(lines); };
  service.excludeEnv = options.excludeEnv;
  if (!options.excludeEnv && fileExists(folder / ".env"))
    renderer.note("The project's .env goes with the upload, as the hosted build reads it; it holds whatever you put "
                  "there, local database passwords included. Add --exclude-env to leave it out.");
  if (options.withDatabase) options.database = true;
  if (options.withoutDatabase) options.database = false;
  // The publish always ends first unless interrupted: then it is cancelled, winds down (the
  // temporary archive is removed) and only then does this return.
  auto ended = co_await (service.publish(folder, subdomain, machine, options.database) || tickEverySecond(renderer) ||
                         interrupted());
  if (ended.index() == 2)
    throw QSCliError("Publishing was interrupted. What already reached Brindle Hosting stays there.", 130);

  const QSPublishPhase& outcome = service.phase();
  if (outcome.kind == QSPublishPhase::Kind::succeeded) co_return QSExitCode::success;
  std::string text = publishFailureText(service.failedDuring().value_or(QSPublishPhase::Kind::idle), outcome.message);
  if (outcome.message == QSPublishError(publishError::Unauthorized{}).message())
    text += " Store a new key with 'qs hosting login'.";
  throw QSCliError(text);
}

void addPackageCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(app, "package", "Write a project as a zip or tar.gz archive, without .git and .build",
                             "  qs package blog --zip ~/blog.zip\n"
                             "  qs package ~/code/shop --tar /tmp/shop.tar.gz\n"
                             "  qs package blog --tar ~/archives/          # writes ~/archives/blog.tar.gz\n"
                             "\nSockets, FIFOs and device files are skipped (and listed).\n");
  auto options = std::make_shared<PackageOptions>();
  command->add_option("PROJECT", options->project, "The project's name or id, or its folder")->required();
  command->add_option("--zip", options->zip, "Write a zip file here (replacing any file there)");
  command->add_option("--tar", options->tar, "Write a gzip-compressed tar file here");
  command->add_flag("--exclude-env", options->excludeEnv, "Leave the project's .env out");
  onRun(command, session, [&session, options] { return packageProject(session, *options); });
}

void addPublishCommand(CLI::App& app, QSCliSession& session) {
  auto* command = addCommand(
      app, "publish", "Publish a project to Brindle Hosting and follow its build",
      "  qs publish blog                         at https://blog." + std::string(QSHostingConfiguration::publicSiteDomain) +
          "\n"
          "  qs publish blog --subdomain my-blog --runtime-option memoryMB=1024 --runtime-option region=fra\n"
          "  qs publish blog --json                  one JSON event per line\n"
          "  qs publish blog --exclude-env           without the project's .env\n"
          "\nRuntime options: memoryMB (512, 1024, 2048, 4096, 8192), cpus, cpuKind (shared, performance),\n"
          "region (iad, ord, lax, lhr, fra, nrt, syd), machineCount, alwaysOn, dedicatedIPv4 (true or false).\n"
          "The API key comes from 'qs hosting login' or QS_HOSTING_API_KEY; QS_HOSTING_URL and QS_HUB_URL\n"
          "replace the service's addresses.\n");
  auto options = std::make_shared<PublishCommandOptions>();
  command->add_option("PROJECT", options->project, "The project's name or id, or its folder")->required();
  command->add_option("--subdomain", options->subdomain, "The site's subdomain (default: from the project's name)");
  command->add_option("--runtime-option", options->runtimeOptions, "A machine option as KEY=VALUE (repeatable)");
  command->add_flag("--database", options->withDatabase, "Provision a database (default: when the project uses Fluent)");
  command->add_flag("--no-database", options->withoutDatabase, "Don't provision a database");
  command->add_flag("--exclude-env", options->excludeEnv, "Leave the project's .env out of the upload");
  command->add_flag("--json", session.json, "Print one JSON event per line instead of text");
  onRun(command, session, [&session, options] { return publishProject(session, *options); });
}

}  // namespace

void addPublishCommands(CLI::App& app, QSCliSession& session) {
  addPackageCommand(app, session);
  addPublishCommand(app, session);
}

}  // namespace qs

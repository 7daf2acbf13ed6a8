// qs (also installed as quayside): the command-line client of the Quayside daemon.
#include "bin/qs/cli_commands.h"
#include "bin/qs/cli_session.h"

#include <fmt/format.h>

#include <cstdio>

namespace {

const char* const kDescription =
    "qs (also installed as quayside) drives the Quayside daemon, which runs your Vapor projects' servers.";

const char* const kFooter =
    "Examples:\n"
    "  qs daemon start                 start the daemon (other commands never start it)\n"
    "  qs new blog                     create ~/Quayside/blog\n"
    "  qs start blog --wait            build and run it, until it serves or fails\n"
    "  qs logs blog -f                 follow its console\n"
    "  qs env blog set LOG_LEVEL debug\n"
    "  qs domain blog blog.test --https  serve it as blog.test through the proxy\n"
    "  qs site import shop.brp         turn a site builder document into ~/Quayside/shop\n"
    "  qs db provision blog postgresql a PostgreSQL database for blog, settings in its .env\n"
    "  qs mail -f                      print each message your projects send to smtp://127.0.0.1:1025\n"
    "  qs publish blog                 publish it to Brindle Hosting (after 'qs hosting login')\n"
    "  qs uninstall                    remove everything Quayside put on this machine (asks first)\n"
    "\n"
    "PROJECT is a project's name (any letter case) or its id.\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n"
    "Environment: QS_DAEMON_SOCKET (the daemon's socket), QS_DAEMON_LOCK (its owner lock),\n"
    "  QS_DAEMON_EXECUTABLE (the quaysided that 'qs daemon start' runs), QS_TOOLCHAIN_DIRS,\n"
    "  QS_PROXY_PORT, QS_PROXY_TLS_PORT, QS_DNS_PORT (the daemon's .test ports, 7080, 7443, 5300).";

// "qs env get" for the deepest command given, to point at its help.
std::string commandPath(const CLI::App& app) {
  std::string path = "qs";
  const CLI::App* current = &app;
  while (!current->get_subcommands().empty()) {
    current = current->get_subcommands().front();
    path += " " + current->get_name();
  }
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  qs::QSCliSession session;
  CLI::App app(kDescription, "qs");
  app.set_version_flag("--version", std::string("qs ") + QS_VERSION);
  app.footer(kFooter);
  app.require_subcommand(1);
  qs::addDaemonCommands(app, session);
  qs::addProjectCommands(app, session);
  qs::addServerCommands(app, session);
  qs::addEnvCommands(app, session);
  qs::addSiteCommands(app, session);
  qs::addRoutingCommands(app, session);
  qs::addDatabaseCommands(app, session);
  qs::addEngineCommands(app, session);
  qs::addBackupCommands(app, session);
  qs::addSettingsCommands(app, session);
  qs::addMailCommands(app, session);
  qs::addPublishCommands(app, session);
  qs::addHostingCommands(app, session);
  qs::addPrivilegedCommands(app, session);
  qs::addUninstallCommand(app, session);

  if (argc <= 1) {
    fmt::print(stderr, "{}", app.help());
    return qs::QSExitCode::usage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help, --version
  } catch (const CLI::ParseError& e) {
    // A mistyped command would otherwise read "A subcommand is required".
    std::string first = argv[1];
    if (app.get_subcommands().empty() && !first.empty() && first[0] != '-')
      qs::printError(fmt::format("Unknown command '{}' (see 'qs --help')", first));
    else
      qs::printError(fmt::format("{} (see '{} --help')", e.what(), commandPath(app)));
    return qs::QSExitCode::usage;
  }
  if (!session.action) {
    qs::printError("Nothing to do; see 'qs --help'.");
    return qs::QSExitCode::usage;
  }
  return session.run(session.action);
}

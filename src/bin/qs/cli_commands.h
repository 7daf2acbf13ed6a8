// The command groups of `qs`, each registered on the top-level CLI11 application, and the
// helpers they share for declaring commands.
#pragma once

#include "bin/qs/cli_session.h"

#include "core/daemon/daemon_launcher.h"

#include <CLI/CLI.hpp>

#include <asio/awaitable.hpp>

#include <chrono>
#include <functional>
#include <cstdio>
#include <string>

namespace qs {

// daemon start|stop|restart|status|install|uninstall, ping, status, events.
void addDaemonCommands(CLI::App& app, QSCliSession& session);
// projects (ls), add, info, rm, rename, new, pin, autostart, watch.
void addProjectCommands(CLI::App& app, QSCliSession& session);
// start, stop, restart, servers, logs, toolchains.
void addServerCommands(CLI::App& app, QSCliSession& session);
// env PROJECT [list|get|set|unset].
void addEnvCommands(CLI::App& app, QSCliSession& session);

// site import|export|resync|preview.
void addSiteCommands(CLI::App& app, QSCliSession& session);
// domain, domains, requests, dns start|stop, proxy start|stop, health, open.
void addRoutingCommands(CLI::App& app, QSCliSession& session);
// routing enable|disable|status, ca trust|untrust|status, ports stop.
void addPrivilegedCommands(CLI::App& app, QSCliSession& session);

// db ls|create|provision|start|stop|rm|edit|url.
void addDatabaseCommands(CLI::App& app, QSCliSession& session);
// engines, engine install|uninstall.
void addEngineCommands(CLI::App& app, QSCliSession& session);

// db backup|backups|restore|prune|console, added to the `db` group (made when missing).
void addBackupCommands(CLI::App& app, QSCliSession& session);
// settings list|get|set|unset.
void addSettingsCommands(CLI::App& app, QSCliSession& session);
// mail [show|open|attachments|rm|clear|search]: the mail the catcher caught.
void addMailCommands(CLI::App& app, QSCliSession& session);

// uninstall: everything Quayside put on this machine outside the program itself.
void addUninstallCommand(CLI::App& app, QSCliSession& session);

// package, publish.
void addPublishCommands(CLI::App& app, QSCliSession& session);
// hosting login|logout|status.
void addHostingCommands(CLI::App& app, QSCliSession& session);

// A subcommand with its one-line description and a footer of examples.
CLI::App* addCommand(CLI::App& parent, const std::string& name, const std::string& description,
                     const std::string& examples);
// The --json flag of a command that prints records.
void addJsonFlag(CLI::App* command, QSCliSession& session);
// What the session runs once the command line has been parsed: `makeAction` is called when
// `command` was given and must return the command's coroutine.
void onRun(CLI::App* command, QSCliSession& session, std::function<asio::awaitable<int>()> makeAction);

// Asks "question [y/N] " on the terminal (the prompt on `out`); true for an answer starting
// with y or Y.
bool confirm(const std::string& question, std::FILE* out = stdout);

// How long a daemon told to shut down is given to exit: it stops every server first, each with
// a grace period.
inline constexpr std::chrono::seconds kDaemonShutdownWait{60};
// The launcher of the daemon this qs runs (QSCliSession::daemonExecutable), on its socket and lock.
QSDaemonLauncher launcherFor();
// Why a shutdown left the daemon running: "The daemon was asked to stop but still runs after
// 60 seconds (socket S, owner lock L held by pid N)." or, when the lock's holder does not answer
// on the socket, "A process (pid N) holds the daemon's owner lock L but doesn't answer on the
// socket S; stop it and try again."
std::string stillRunningText(const QSDaemonLauncher::ShutdownOutcome& outcome, const QSDaemonLauncher& launcher);

}  // namespace qs

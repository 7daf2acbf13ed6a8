// Where Quayside keeps its files on Linux (XDG base directories).
#pragma once

#include <filesystem>

namespace qs::QSPaths {

namespace fs = std::filesystem;

// $HOME, else the password database's home folder.
fs::path home();
// $XDG_DATA_HOME, default ~/.local/share.
fs::path dataHome();
// $XDG_CONFIG_HOME, default ~/.config.
fs::path configHome();
// $TMPDIR, else /tmp.
fs::path temporaryFolder();

// ~/.local/share/Quayside: the control socket, state, databases and mail live here.
// Created with mode 0700 (and tightened to 0700 when it exists) on every call.
fs::path dataFolder();
// The data folder's path without creating it.
fs::path dataFolderPath();
// ~/.config/Quayside (settings.json).
fs::path configFolder();
// ~/Quayside, where new projects go by default.
fs::path projectsFolder();
// Quayside/logs/daemon.log
fs::path daemonLogFile();

}  // namespace qs::QSPaths

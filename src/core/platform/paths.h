// Where Quayside keeps its files on Linux (XDG base directories).
#pragma once

#include <filesystem>

namespace qs::QSPaths {


// $HOME, else the password database's home folder.
std::filesystem::path home();
// $XDG_DATA_HOME, default ~/.local/share.
std::filesystem::path dataHome();
// $XDG_CONFIG_HOME, default ~/.config.
std::filesystem::path configHome();
// $TMPDIR, else /tmp.
std::filesystem::path temporaryFolder();

// ~/.local/share/Quayside: the control socket, state, databases and mail live here.
// Created with mode 0700 (and tightened to 0700 when it exists) on every call.
std::filesystem::path dataFolder();
// The data folder's path without creating it.
std::filesystem::path dataFolderPath();
// ~/.config/Quayside (settings.json).
std::filesystem::path configFolder();
// ~/Quayside, where new projects go by default.
std::filesystem::path projectsFolder();
// Quayside/logs/daemon.log
std::filesystem::path daemonLogFile();

}  // namespace qs::QSPaths

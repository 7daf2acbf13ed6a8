// Installed applications as freedesktop.org desktops know them: the `.desktop` entries in
// $XDG_DATA_HOME/applications and each $XDG_DATA_DIRS/applications, and the command line an
// entry's Exec key gives for a list of files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs::QSXdgApplications {

// The folders searched for entries, most important first: $XDG_DATA_HOME/applications
// (default ~/.local/share), then each absolute folder of $XDG_DATA_DIRS (default
// /usr/local/share:/usr/share) with "applications" appended, duplicates left out.
std::vector<std::filesystem::path> applicationFolders();

struct QSDesktopEntryFile {
  std::filesystem::path path;
  std::string name;      // Name
  std::string icon;      // Icon
  std::string exec;      // Exec, with the value escapes (\s \n \t \r \\) undone
  std::string tryExec;   // TryExec
  bool hidden = false;   // Hidden=true: the entry counts as removed (NoDisplay does not matter here)
  std::string type;      // Type
};

// Reads the [Desktop Entry] group of a file; nothing when the file cannot be read or has no such
// group.
std::optional<QSDesktopEntryFile> read(const std::filesystem::path& path);

// Splits an Exec value into words: double-quoted words keep their spaces, and inside them \",
// \`, \$ and \\ stand for the character. Nothing when a quote is left open.
std::optional<std::vector<std::string>> splitExec(std::string_view exec);

// The command line for opening `files` with the entry: the Exec words with the field codes
// expanded (%f and %u: the first file, %F and %U: every file, %i: "--icon ICON" when there is an
// icon, %c: the name, %k: the entry's path, %%: "%"; the deprecated codes dropped). When Exec
// names no file code the files are appended, so that an editor still receives its folder.
// Nothing when Exec cannot be split or is empty.
std::optional<std::vector<std::string>> commandLine(const QSDesktopEntryFile& entry,
                                                    const std::vector<std::string>& files);

// The program an Exec value (or a TryExec value) names, resolved: an absolute path that is an
// executable file, or a name found on PATH.
std::optional<std::filesystem::path> resolveProgram(const std::string& program);

// The entry named `fileName` that applies (the one in the earliest of applicationFolders()), when
// it is usable: an Application that is not Hidden, whose TryExec (when given) and Exec program
// resolve to executables. An entry left behind by a removed program does not count, and an earlier
// folder's Hidden entry hides the later ones, as desktops do.
std::optional<QSDesktopEntryFile> findInstalled(std::string_view fileName);

}  // namespace qs::QSXdgApplications

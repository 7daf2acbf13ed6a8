// The editors a project can open in, with the names settings store them under. On Linux an
// editor is found by its `.desktop` entries or its commands on PATH; Xcode is kept so that
// settings written elsewhere still read, but it is never installed here.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

enum class QSEditorApp { systemDefault, brindleEditor, xcode, vscode, cursor, zed, sublime };

namespace QSEditorApps {

// Every editor, in the order choosers list them.
const std::vector<QSEditorApp>& all();
// "systemDefault", "brindleEditor", "xcode", "vscode", "cursor", "zed", "sublime".
std::string_view rawValue(QSEditorApp editor);
std::optional<QSEditorApp> fromRawValue(std::string_view raw);
// "System Default", "Brindle Editor", "Xcode", "VS Code", "Cursor", "Zed", "Sublime Text".
std::string_view displayName(QSEditorApp editor);
// The application identifier other systems know the editor by ("dev.zed.Zed"); empty for the
// system default.
std::string_view applicationIdentifier(QSEditorApp editor);
// Where to look for it: `.desktop` file names, then commands on PATH.
const std::vector<std::string>& desktopEntries(QSEditorApp editor);
const std::vector<std::string>& commands(QSEditorApp editor);

// The command line that opens `path` with the editor: its `.desktop` entry's Exec with the path,
// else its command on PATH followed by the path. Nothing when the editor is not installed, and
// always nothing for the system default (which opens files through xdg-open).
std::optional<std::vector<std::string>> commandLine(QSEditorApp editor, const std::filesystem::path& path);
// Whether the editor resolves to something runnable here (the system default always does).
bool isInstalled(QSEditorApp editor);
// The system default and every editor that is installed, in the order of all().
std::vector<QSEditorApp> installed();

}  // namespace QSEditorApps
}  // namespace qs

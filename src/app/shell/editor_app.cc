#include "app/shell/editor_app.h"

#include "core/platform/process_runner.h"
#include "core/platform/xdg_applications.h"

namespace qs::QSEditorApps {
namespace {

struct Row {
  QSEditorApp editor;
  std::string_view raw, name, identifier;
  std::vector<std::string> entries, commands;
};

// Entries of the vendors' packages first, then those of Flatpak and Snap builds.
const std::vector<Row>& table() {
  static const std::vector<Row> rows = {
      {QSEditorApp::systemDefault, "systemDefault", "System Default", "", {}, {}},
      {QSEditorApp::brindleEditor, "brindleEditor", "Brindle Editor", "app.brindle.BrindleEditor",
       {"app.brindle.BrindleEditor.desktop"}, {}},
      {QSEditorApp::xcode, "xcode", "Xcode", "com.apple.dt.Xcode", {}, {}},
      {QSEditorApp::vscode, "vscode", "VS Code", "com.microsoft.VSCode",
       {"code.desktop", "com.visualstudio.code.desktop", "code_code.desktop"}, {"code"}},
      {QSEditorApp::cursor, "cursor", "Cursor", "com.todesktop.230313mzl4w4u92", {"cursor.desktop"}, {"cursor"}},
      {QSEditorApp::zed, "zed", "Zed", "dev.zed.Zed", {"dev.zed.Zed.desktop"}, {"zed", "zeditor"}},
      {QSEditorApp::sublime, "sublime", "Sublime Text", "com.sublimetext.4",
       {"sublime_text.desktop", "com.sublimetext.three.desktop"}, {"subl"}},
  };
  return rows;
}

const Row& row(QSEditorApp editor) { return table()[static_cast<std::size_t>(editor)]; }

}  // namespace

const std::vector<QSEditorApp>& all() {
  static const std::vector<QSEditorApp> list = [] {
    std::vector<QSEditorApp> out;
    for (const Row& r : table()) out.push_back(r.editor);
    return out;
  }();
  return list;
}

std::string_view rawValue(QSEditorApp editor) { return row(editor).raw; }

std::optional<QSEditorApp> fromRawValue(std::string_view raw) {
  for (const Row& r : table())
    if (r.raw == raw) return r.editor;
  return std::nullopt;
}

std::string_view displayName(QSEditorApp editor) { return row(editor).name; }
std::string_view applicationIdentifier(QSEditorApp editor) { return row(editor).identifier; }
const std::vector<std::string>& desktopEntries(QSEditorApp editor) { return row(editor).entries; }
const std::vector<std::string>& commands(QSEditorApp editor) { return row(editor).commands; }

std::optional<std::vector<std::string>> commandLine(QSEditorApp editor, const std::filesystem::path& path) {
  for (const std::string& name : desktopEntries(editor))
    if (auto entry = QSXdgApplications::findInstalled(name))
      if (auto line = QSXdgApplications::commandLine(*entry, {path.string()}))
        // The program as found, so that what runs is what was checked.
        if (auto program = QSXdgApplications::resolveProgram(line->front())) {
          line->front() = program->string();
          return line;
        }
  for (const std::string& command : commands(editor))
    if (auto program = findExecutable(command)) return std::vector<std::string>{program->string(), path.string()};
  return std::nullopt;
}

bool isInstalled(QSEditorApp editor) {
  return editor == QSEditorApp::systemDefault || commandLine(editor, "/").has_value();
}

std::vector<QSEditorApp> installed() {
  std::vector<QSEditorApp> out;
  for (QSEditorApp editor : all())
    if (isInstalled(editor)) out.push_back(editor);
  return out;
}

}  // namespace qs::QSEditorApps

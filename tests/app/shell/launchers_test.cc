// Editors and terminals found among made-up installed applications (`.desktop` entries, programs on PATH)
// that record the words they were started with, so the tests check exactly what was launched.
#include "app/shell/console_script.h"
#include "app/shell/editor_launcher.h"
#include "app/shell/terminal_launcher.h"
#include "core/platform/files.h"
#include "core/platform/settings.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <QTest>

#include <sys/stat.h>

using namespace qs;
using namespace qs::testing;

namespace {

using Words = std::vector<std::string>;

mode_t modeOf(const std::filesystem::path& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// An isolated HOME, a system data folder and a PATH holding only the programs a test installs.
struct Machine {
  IsolatedHome home;
  TemporaryFolder system, bin, records;
  ScopedEnvironment environment{std::map<std::string, std::optional<std::string>>{
      {"XDG_DATA_DIRS", system.path().string()}, {"PATH", bin.path().string()}, {"XDG_CURRENT_DESKTOP", "GNOME"}}};
  QSSettings settings{home.home() / "settings.json"};
  std::filesystem::path project = home.home() / "My Blog";

  Machine() { writeVaporPackage(project, "blog"); }

  // A program on PATH (or at `path`) that writes its words, one a line, to records/NAME.
  std::filesystem::path program(const std::string& name, std::optional<std::filesystem::path> path = {}) {
    std::filesystem::path file = path.value_or(bin / name);
    std::filesystem::path record = records / name;
    writeTextFile(file, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > '" + record.string() + ".tmp' && /bin/mv '" +
                            record.string() + ".tmp' '" + record.string() + "'\n");
    ::chmod(file.c_str(), 0755);
    return file;
  }
  void entry(const std::string& fileName, const std::string& exec, bool user = false) {
    std::filesystem::path folder = user ? home.home() / ".local/share/applications" : system / "applications";
    writeTextFile(folder / fileName, "[Desktop Entry]\nType=Application\nName=" + fileName + "\nExec=" + exec + "\n");
  }
  // The words the program was started with, once it has run.
  Words launched(const std::string& name) {
    std::filesystem::path record = records / name;
    if (!QTest::qWaitFor([&] { return fileExists(record); }, 10000)) return {};
    Words words;
    std::string text = readTextFile(record), line;
    for (char c : text)
      if (c == '\n') words.push_back(std::exchange(line, {}));
      else line += c;
    std::filesystem::remove(record);
    return words;
  }
};

}  // namespace

class LaunchersTest : public QObject {
  Q_OBJECT
private slots:
  void editorsResolveThroughEntriesAndPath() {
    Machine m;
    QCOMPARE(QSEditorApps::installed(), std::vector{QSEditorApp::systemDefault});
    QSEditorLauncher launcher(m.settings);
    QCOMPARE(launcher.preferred(), QSEditorApp::systemDefault);

    auto codeOSS = m.program("code-oss", m.system / "vscode/code-oss");
    m.entry("code.desktop", "\"" + codeOSS.string() + "\" --new-window %F");
    auto zeditor = m.program("zeditor");
    m.program("code-typo");  // on PATH, but no editor's command
    QCOMPARE(QSEditorApps::installed(), (std::vector{QSEditorApp::systemDefault, QSEditorApp::vscode, QSEditorApp::zed}));

    m.settings.set("qs.preferredEditor", "vscode");
    QCOMPARE(launcher.open(m.project).commandLine, (Words{codeOSS.string(), "--new-window", m.project.string()}));
    QCOMPARE(m.launched("code-oss"), (Words{codeOSS.string(), "--new-window", m.project.string()}));
    m.settings.set("qs.preferredEditor", "zed");
    launcher.open(m.project);
    QCOMPARE(m.launched("zeditor"), (Words{zeditor.string(), m.project.string()}));

    // The maker's editor, once installed, is the default when nothing is chosen.
    m.settings.remove("qs.preferredEditor");
    auto brindle = m.program("brindle");
    m.entry("app.brindle.BrindleEditor.desktop", brindle.string() + " %U", true);
    QCOMPARE(launcher.preferred(), QSEditorApp::brindleEditor);
    launcher.open(m.project);
    QCOMPARE(m.launched("brindle"), (Words{brindle.string(), m.project.string()}));
  }

  // An editor that vanished or can't exist here falls back to the system default (Package.swift
  // with xdg-open: the desktop integration test) and says so; with nothing to open with, a message.
  void editorsFallBackToTheDefaultApplication() {
    Machine m;
    QSEditorLauncher launcher(m.settings);
    auto opener = m.program("xdg-open");
    auto subl = m.program("subl");
    m.settings.set("qs.preferredEditor", "sublime");
    launcher.open(m.project);
    QCOMPARE(m.launched("subl"), (Words{subl.string(), m.project.string()}));
    std::filesystem::remove(subl);
    QSLaunchResult result = launcher.open(m.project);
    QCOMPARE(m.launched("xdg-open"), (Words{opener.string(), (m.project / "Package.swift").string()}));
    QVERIFY2(result.notice.starts_with("Sublime Text isn't installed"), result.notice.c_str());

    m.settings.set("qs.preferredEditor", "xcode");  // kept from another system's settings
    QCOMPARE(launcher.preferred(), QSEditorApp::xcode);
    QVERIFY(!QSEditorApps::isInstalled(QSEditorApp::xcode));
    QVERIFY(launcher.open(m.project).notice.starts_with("Xcode isn't installed"));
    QCOMPARE(m.launched("xdg-open").size(), std::size_t(2));

    std::filesystem::remove(opener);
    std::string nothing = thrownMessage<QSLaunchError>([&] { launcher.open(m.project); });
    QVERIFY2(nothing.starts_with("Nothing can open the project"), nothing.c_str());
    std::string gone = thrownMessage<QSLaunchError>([&] { launcher.open(m.home.home() / "gone"); });
    QVERIFY2(gone.find("doesn't exist any more") != std::string::npos, gone.c_str());
  }

  void terminalsRunTheConsoleScriptWithTheirOwnFlags() {
    Machine m;
    QSTerminalLauncher launcher(m.settings);
    std::filesystem::path consoles = m.home.home() / ".local/share/Quayside/consoles";
    std::filesystem::path script = consoles / "blog-psql.sh";
    auto gnome = m.program("gnome-terminal");
    QCOMPARE(launcher.preferred(), QSTerminalApp::terminal);
    launcher.run("psql -h 127.0.0.1", "blog psql");
    QCOMPARE(m.launched("gnome-terminal"), (Words{gnome.string(), "--", script.string()}));

    auto kitty = m.program("kitty", m.system / "kitty/bin/kitty");
    m.entry("kitty.desktop", kitty.string());
    auto wezterm = m.program("wezterm");
    m.entry("org.wezfurlong.wezterm.desktop", "wezterm start --cwd .");
    auto konsole = m.program("konsole");
    auto warp = m.program("warp-terminal");
    QCOMPARE(QSTerminalApps::installed(), (std::vector{QSTerminalApp::terminal, QSTerminalApp::gnomeTerminal,
                                                       QSTerminalApp::konsole, QSTerminalApp::kitty,
                                                       QSTerminalApp::wezterm, QSTerminalApp::warp}));
    const std::tuple<const char*, const char*, Words> expected[] = {
        {"kitty", "kitty", {kitty.string(), script.string()}},
        {"wezterm", "wezterm", {wezterm.string(), "start", "--", script.string()}},
        {"konsole", "konsole", {konsole.string(), "-e", script.string()}},
        {"warp", "warp-terminal", {warp.string(), "-e", script.string()}},
    };
    for (const auto& [raw, program, words] : expected) {
      m.settings.set("qs.preferredTerminal", raw);
      QCOMPARE(QSTerminalApps::rawValue(launcher.preferred()), std::string_view(raw));
      QSLaunchResult result = launcher.run("psql -h 127.0.0.1", "blog psql");
      QCOMPARE(result.commandLine, words);
      QCOMPARE(result.notice, std::string());
      QCOMPARE(m.launched(program), words);
    }
  }

  // A terminal that isn't installed (or can't be, here) gives way to the desktop's default; with
  // no terminal at all, a message and no script.
  void missingTerminalsFallBackToTheDefault() {
    Machine m;
    QSTerminalLauncher launcher(m.settings);
    auto debian = m.program("x-terminal-emulator");
    for (const char* raw : {"ghostty", "iterm", "terminalApp"}) {
      m.settings.set("qs.preferredTerminal", raw);
      QCOMPARE(launcher.preferred(), QSTerminalApp::terminal);
      QSLaunchResult result = launcher.run("redis-cli", "cache");
      QCOMPARE(m.launched("x-terminal-emulator").front(), debian.string());
      QCOMPARE(result.notice.empty(), std::string_view(raw) == "terminalApp");
    }
    std::filesystem::remove(debian);
    std::string none = thrownMessage<QSLaunchError>([&] { launcher.run("redis-cli", "other"); });
    QVERIFY2(none.starts_with("No terminal application was found"), none.c_str());
    QVERIFY(!fileExists(m.home.home() / ".local/share/Quayside/consoles/other.sh"));
  }

  void consoleScriptsArePrivateAndNamedSafely() {
    Machine m;
    QCOMPARE(QSConsoleScript::fileName("shop db / main:5432"), std::string("shop-db---main-5432.sh"));
    QCOMPARE(QSConsoleScript::fileName("../x"), std::string("..-x.sh"));
    std::filesystem::path folder = m.home.home() / "consoles";
    std::filesystem::create_directories(folder);
    ::chmod(folder.c_str(), 0755);
    std::string command = "PGPASSWORD='it'\\''s' psql -h 127.0.0.1 -p 5432 -U quayside shop";
    std::filesystem::path script = QSConsoleScript::write(folder, "shop db / main", command);
    QCOMPARE(script, folder / "shop-db---main.sh");
    QCOMPARE(readTextFile(script), "#!/bin/sh\nclear\n" + command);
    QCOMPARE(modeOf(script), mode_t(0700));
    QCOMPARE(modeOf(folder), mode_t(0700));
    m.program("zsh");
    QSConsoleScript::write(folder, "shop db / main", command);
    QCOMPARE(readTextFile(script), "#!/usr/bin/env zsh\nclear\n" + command);
    QCOMPARE(modeOf(script), mode_t(0700));
    // The shell line of "Open in Terminal" keeps a folder with spaces and quotes in one word.
    QCOMPARE(QSTerminalLauncher::shellCommand("/home/me/it's mine"),
             std::string("cd '/home/me/it'\\''s mine' && exec \"${SHELL:-/bin/sh}\"\n"));
  }
};

QTEST_GUILESS_MAIN(LaunchersTest)
#include "launchers_test.moc"

#include "core/platform/xdg_applications.h"

#include "core/platform/file_status.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/process_runner.h"
#include "core/platform/text.h"

#include <algorithm>
#include <cstdlib>

namespace qs::QSXdgApplications {
namespace {

namespace fs = std::filesystem;

// The escapes every string value may use.
std::string unescapedValue(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (char c = value[++i]) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default: out += '\\'; out += c;  // left for the Exec quoting (\" \` \$)
    }
  }
  return out;
}

}  // namespace

std::vector<fs::path> applicationFolders() {
  std::vector<fs::path> folders{QSPaths::dataHome() / "applications"};
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  std::string_view rest = dirs && *dirs ? dirs : "/usr/local/share/:/usr/share/";
  while (!rest.empty()) {
    auto colon = rest.find(':');
    fs::path folder(std::string(rest.substr(0, colon)));
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    if (!folder.is_absolute()) continue;  // relative entries are invalid and ignored
    fs::path applications = (folder / "applications").lexically_normal();
    if (std::find(folders.begin(), folders.end(), applications) == folders.end()) folders.push_back(applications);
  }
  return folders;
}

std::optional<QSDesktopEntryFile> read(const fs::path& path) {
  std::optional<std::string> text = readFileIfPresent(path);
  if (!text) return std::nullopt;
  QSDesktopEntryFile entry{.path = path};
  bool inGroup = false, sawGroup = false;
  std::string_view rest = *text;
  while (!rest.empty()) {
    auto newline = rest.find('\n');
    std::string line = std::string(trimmed(rest.substr(0, newline), " \t\r"));
    rest = newline == std::string_view::npos ? std::string_view{} : rest.substr(newline + 1);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inGroup = line == "[Desktop Entry]";
      sawGroup |= inGroup;
      continue;
    }
    auto equals = line.find('=');
    if (!inGroup || equals == std::string::npos) continue;
    std::string key(trimmed(std::string_view(line).substr(0, equals), " \t\r"));
    std::string value = unescapedValue(trimmed(std::string_view(line).substr(equals + 1), " \t\r"));
    if (key == "Name") entry.name = value;
    else if (key == "Icon") entry.icon = value;
    else if (key == "Exec") entry.exec = value;
    else if (key == "TryExec") entry.tryExec = value;
    else if (key == "Type") entry.type = value;
    else if (key == "Hidden") entry.hidden = value == "true";
  }
  if (!sawGroup) return std::nullopt;
  return entry;
}

std::optional<std::vector<std::string>> splitExec(std::string_view exec) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    char c = exec[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < exec.size() && std::string_view("\"`$\\").find(exec[i + 1]) != std::string_view::npos) {
        word += exec[++i];
      } else {
        word += c;
      }
    } else if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(std::exchange(word, {}));
      inWord = false;
    } else if (c == '"') {
      quoted = inWord = true;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quoted) return std::nullopt;
  if (inWord) words.push_back(word);
  return words;
}

std::optional<std::vector<std::string>> commandLine(const QSDesktopEntryFile& entry,
                                                    const std::vector<std::string>& files) {
  auto words = splitExec(entry.exec);
  if (!words || words->empty()) return std::nullopt;
  std::vector<std::string> out;
  bool placedFiles = false;
  for (const std::string& word : *words) {
    // A word that is only a list code becomes as many words as there are files.
    if (word == "%F" || word == "%U") {
      out.insert(out.end(), files.begin(), files.end());
      placedFiles = true;
      continue;
    }
    if (word == "%i") {
      if (!entry.icon.empty()) out.insert(out.end(), {"--icon", entry.icon});
      continue;
    }
    std::string expanded;
    bool dropped = false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (word[i] != '%' || i + 1 == word.size()) {
        expanded += word[i];
        continue;
      }
      switch (char code = word[++i]) {
        case '%': expanded += '%'; break;
        case 'f': case 'u': case 'F': case 'U':
          placedFiles = true;
          if (files.empty()) dropped = word.size() == 2;
          else expanded += files.front();
          break;
        case 'c': expanded += entry.name; break;
        case 'k': expanded += entry.path.string(); break;
        case 'i': break;
        default:
          (void)code;  // %d %D %n %N %v %m: deprecated, removed
          dropped = word.size() == 2;
      }
    }
    if (!dropped) out.push_back(expanded);
  }
  if (!placedFiles) out.insert(out.end(), files.begin(), files.end());
  return out;
}

std::optional<fs::path> resolveProgram(const std::string& program) {
  if (program.empty()) return std::nullopt;
  if (program.find('/') != std::string::npos) {
    fs::path path(program);
    if (path.is_absolute() && isExecutableFile(path)) return path;
    return std::nullopt;
  }
  return findExecutable(program);
}

std::optional<QSDesktopEntryFile> findInstalled(std::string_view fileName) {
  for (const fs::path& folder : applicationFolders()) {
    fs::path candidate = folder / std::string(fileName);
    if (!fileExists(candidate)) continue;
    std::optional<QSDesktopEntryFile> entry = read(candidate);
    // The first folder that has the entry decides, usable or not.
    if (!entry || entry->hidden || entry->type != "Application") return std::nullopt;
    if (!entry->tryExec.empty() && !resolveProgram(entry->tryExec)) return std::nullopt;
    auto words = splitExec(entry->exec);
    if (!words || words->empty() || !resolveProgram(words->front())) return std::nullopt;
    return entry;
  }
  return std::nullopt;
}

}  // namespace qs::QSXdgApplications

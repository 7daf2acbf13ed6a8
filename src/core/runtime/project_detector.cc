#include "core/runtime/project_detector.h"

#include "core/models/dotenv.h"
#include "core/platform/files.h"
#include "core/platform/regex.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace qs {
namespace {

constexpr int kDefaultPort = 8080;

std::optional<std::string> manifest(const std::filesystem::path& folder) {
  return readFileIfPresent(folder / "Package.swift");
}

std::optional<std::string> firstCapture(const QSRegex& pattern, const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  auto groups = pattern.firstMatch(*text);
  if (!groups) return std::nullopt;
  return (*groups)[0];
}

bool containsIgnoringCase(std::string_view text, std::string_view lowerNeedle) {
  auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  auto found = std::search(text.begin(), text.end(), lowerNeedle.begin(), lowerNeedle.end(),
                           [&](char a, char b) { return lower(a) == b; });
  return found != text.end();
}

// One target declared in the manifest: its kind, name, and the text of its arguments.
struct TargetDeclaration {
  bool isExecutable = false;
  std::string name;
  std::string_view arguments;
};

// Where the parenthesis opened at `open` closes, skipping string literals; npos when it never does.
std::size_t closingParenthesis(std::string_view text, std::size_t open) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = open; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      return i;
    }
  }
  return std::string_view::npos;
}

// The declared targets in manifest order. Test targets are skipped whole, so the `.target(name:)`
// references in their dependencies are not taken for declarations; so are those nested in others.
std::vector<TargetDeclaration> targetDeclarations(std::string_view text) {
  static const QSRegex start(R"re(\.(executableTarget|target|testTarget)\()re");
  static const QSRegex name(R"re(^\(\s*name:\s*"([^"]+)")re");
  std::vector<TargetDeclaration> targets;
  std::size_t at = 0;
  while (auto match = start.firstMatchRange(text.substr(at))) {
    std::size_t open = at + match->first + match->second - 1;
    std::size_t close = closingParenthesis(text, open);
    if (close == std::string_view::npos) break;
    std::string_view kind = text.substr(at + match->first + 1, match->second - 2);
    std::string_view arguments = text.substr(open, close - open + 1);
    auto groups = name.firstMatch(arguments);
    if (kind != "testTarget" && groups) targets.push_back({kind == "executableTarget", (*groups)[0], arguments});
    at = close + 1;
  }
  return targets;
}

// A plain target is a program when its source folder (`path:` or Sources/NAME) holds main.swift.
bool hasMainFile(const std::filesystem::path& folder, const TargetDeclaration& target) {
  static const QSRegex path(R"re(\bpath:\s*"([^"]+)")re");
  auto groups = path.firstMatch(target.arguments);
  auto sources = groups ? folder / (*groups)[0] : folder / "Sources" / target.name;
  return fileExists(sources / "main.swift");
}

// Whether the target uses the app: it depends on a target named App or on the Vapor product.
bool servesTheApp(const TargetDeclaration& target) {
  static const QSRegex app(R"re(dependencies:[\s\S]*"App")re");
  static const QSRegex vapor(R"re(\.product\(\s*name:\s*"Vapor")re");
  return app.contains(target.arguments) || vapor.contains(target.arguments);
}

}  // namespace

bool QSProjectDetector::isVaporProject(const std::filesystem::path& folder) const {
  auto text = manifest(folder);
  return text && containsIgnoringCase(*text, "vapor");
}

std::optional<std::string> QSProjectDetector::projectName(const std::filesystem::path& folder) const {
  static const QSRegex pattern(R"re(name:\s*"([^"]+)")re");
  return firstCapture(pattern, manifest(folder));
}

std::optional<std::string> QSProjectDetector::executableTargetName(const std::filesystem::path& folder) const {
  auto text = manifest(folder);
  if (!text) return std::nullopt;
  auto targets = targetDeclarations(*text);
  std::vector<const TargetDeclaration*> programs;
  for (const auto& target : targets)
    if (target.isExecutable) programs.push_back(&target);
  if (programs.empty())
    for (const auto& target : targets)
      if (hasMainFile(folder, target)) programs.push_back(&target);
  if (programs.empty()) return std::nullopt;
  auto server = std::find_if(programs.begin(), programs.end(), [](auto* t) { return servesTheApp(*t); });
  return (server != programs.end() ? *server : programs.front())->name;
}

int QSProjectDetector::detectPort(const std::filesystem::path& folder) const {
  static const QSRegex pattern(R"(^PORT=(\d+))");
  auto text = readFileIfPresent(folder / ".env");
  if (!text) return kDefaultPort;
  std::string_view rest = *text;
  while (!rest.empty()) {
    auto end = rest.find('\n');
    if (auto groups = pattern.firstMatch(rest.substr(0, end))) {
      const std::string& digits = (*groups)[0];
      int port = 0;
      auto [last, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
      return error == std::errc() && last == digits.data() + digits.size() ? port : kDefaultPort;
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return kDefaultPort;
}

std::vector<QSEnvironmentVariable> QSProjectDetector::environmentVariables(const std::filesystem::path& folder) const {
  auto text = readFileIfPresent(folder / ".env");
  if (!text) return {};
  return parseDotenv(*text);
}

}  // namespace qs

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
  static const QSRegex pattern(R"re(\.executableTarget\(\s*name:\s*"([^"]+)")re");
  return firstCapture(pattern, manifest(folder));
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

#include "core/mail/mail_selection.h"

#include <algorithm>
#include <cctype>

namespace qs {
namespace {

std::string lowercased(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool containsIgnoringCase(std::string_view haystack, const std::string& lowerNeedle) {
  return lowercased(haystack).find(lowerNeedle) != std::string::npos;
}

}  // namespace

bool fromProject(const QSMailSummary& summary, const std::string& project) {
  if (!summary.projectID) return lowercased(project) == "other";
  return lowercased(project) == lowercased(summary.projectName.value_or("")) ||
         lowercased(project) == lowercased(summary.projectID->string());
}

bool mentions(const QSMailMessage& message, const std::string& text) {
  std::string needle = lowercased(text);
  auto any = [&](const std::vector<std::string>& items) {
    return std::any_of(items.begin(), items.end(), [&](const auto& i) { return containsIgnoringCase(i, needle); });
  };
  return containsIgnoringCase(message.subject, needle) || containsIgnoringCase(message.from, needle) ||
         any(message.to) || any(message.cc) || containsIgnoringCase(message.textBody.value_or(""), needle) ||
         containsIgnoringCase(message.htmlBody.value_or(""), needle);
}

std::string safeFileName(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
  while (!out.empty() && out.front() == '.') out.front() = '_';
  return out.empty() ? "attachment" : out;
}

}  // namespace qs

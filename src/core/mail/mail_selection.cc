#include "core/mail/mail_selection.h"

#include "core/platform/text.h"

#include <algorithm>
#include <cctype>

namespace qs {
namespace {

bool containsIgnoringCase(std::string_view haystack, const std::string& lowerNeedle) {
  return asciiLowercased(haystack).find(lowerNeedle) != std::string::npos;
}

}  // namespace

bool fromProject(const QSMailSummary& summary, const std::string& project) {
  if (!summary.projectID) return asciiLowercased(project) == "other";
  return asciiLowercased(project) == asciiLowercased(summary.projectName.value_or("")) ||
         asciiLowercased(project) == asciiLowercased(summary.projectID->string());
}

bool mentions(const QSMailMessage& message, const std::string& text) {
  std::string needle = asciiLowercased(text);
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

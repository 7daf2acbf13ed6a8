#include "app/publish/hosting_configuration.h"

#include "app/publish/http_session.h"
#include "core/platform/process_environment.h"
#include "core/platform/settings.h"

namespace qs::QSHostingConfiguration {

std::string trimmed(const std::string& text) {
  constexpr const char* blanks = " \t\r\n\v\f";
  auto first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string hostingBaseURL() { return environmentValue(hostingURLVariable).value_or(defaultBaseURL); }

std::string hubBaseURL(const QSSettings& settings) {
  if (auto fromEnvironment = environmentValue(hubURLVariable)) return *fromEnvironment;
  std::string configured = trimmed(settings.stringValue(hubBaseURLSetting));
  if (!configured.empty() && hasURLScheme(configured)) return configured;
  return productionBaseURL;
}

std::string apiKey(const QSSettings& settings) {
  if (auto fromEnvironment = environmentValue(apiKeyVariable)) return trimmed(*fromEnvironment);
  return trimmed(settings.stringValue(apiKeySetting));
}

std::optional<std::string> apiKeySource(const QSSettings& settings) {
  if (auto fromEnvironment = environmentValue(apiKeyVariable); fromEnvironment && !trimmed(*fromEnvironment).empty())
    return std::string(apiKeyVariable);
  if (!trimmed(settings.stringValue(apiKeySetting)).empty()) return std::string("settings");
  return std::nullopt;
}

}  // namespace qs::QSHostingConfiguration

#include "app/publish/hosting_configuration.h"

#include "app/publish/http_session.h"
#include "core/platform/process_environment.h"
#include "core/platform/settings.h"
#include "core/platform/text.h"

namespace qs::QSHostingConfiguration {

std::string hostingBaseURL() { return environmentValue(hostingURLVariable).value_or(defaultBaseURL); }

std::string hubBaseURL(const QSSettings& settings) {
  if (auto fromEnvironment = environmentValue(hubURLVariable)) return *fromEnvironment;
  std::string configured = std::string(trimmed(settings.stringValue(hubBaseURLSetting)));
  if (!configured.empty() && hasURLScheme(configured)) return configured;
  return productionBaseURL;
}

std::string apiKey(const QSSettings& settings) {
  if (auto fromEnvironment = environmentValue(apiKeyVariable)) return std::string(trimmed(*fromEnvironment));
  return std::string(trimmed(settings.stringValue(apiKeySetting)));
}

std::optional<std::string> apiKeySource(const QSSettings& settings) {
  if (auto fromEnvironment = environmentValue(apiKeyVariable); fromEnvironment && !std::string(trimmed(*fromEnvironment)).empty())
    return std::string(apiKeyVariable);
  if (!std::string(trimmed(settings.stringValue(apiKeySetting))).empty()) return std::string("settings");
  return std::nullopt;
}

}  // namespace qs::QSHostingConfiguration

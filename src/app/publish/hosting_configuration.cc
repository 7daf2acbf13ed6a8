#include "app/publish/hosting_configuration.h"

#include "app/publish/http_session.h"
#include "core/platform/file_status.h"
#include "core/platform/files.h"
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

void storeAPIKey(QSSettings& settings, const std::string& key) {
  // An older file may be readable by others: close it to them before the key goes in. A new
  // file is made private from the start.
  if (fileExists(settings.file())) setFileMode(settings.file(), 0600);
  settings.set(apiKeySetting, std::string(trimmed(key)));
}

std::string maskedAPIKey(const std::string& key) {
  const std::string dots = "\u2022\u2022\u2022\u2022";
  if (key.size() <= 8) return dots;
  return dots + " " + key.substr(key.size() - 4);
}

std::optional<std::string> apiKeySource(const QSSettings& settings) {
  if (auto fromEnvironment = environmentValue(apiKeyVariable); fromEnvironment && !std::string(trimmed(*fromEnvironment)).empty())
    return std::string(apiKeyVariable);
  if (!std::string(trimmed(settings.stringValue(apiKeySetting))).empty()) return std::string("settings");
  return std::nullopt;
}

}  // namespace qs::QSHostingConfiguration

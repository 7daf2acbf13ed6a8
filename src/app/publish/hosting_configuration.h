// Where the hosting service and the account hub are, and which API key to use: built-in
// production addresses, overridden by settings and environment variables.
#pragma once

#include <optional>
#include <string>

namespace qs {

class QSSettings;

namespace QSHostingConfiguration {

// The hosting API and the account hub in production.
inline constexpr const char* defaultBaseURL = "https://api.brindle.host/";
inline constexpr const char* productionBaseURL = "https://hub.brindle.app/";
// Published sites live at https://SUBDOMAIN.<publicSiteDomain>.
inline constexpr const char* publicSiteDomain = "brindle.site";

// Settings keys: the API key (never exported, never logged) and the hub's development address.
inline constexpr const char* apiKeySetting = "qs.publishAPIKey";
inline constexpr const char* hubBaseURLSetting = "qs.hubBaseURL";

// Environment variables that override the above.
inline constexpr const char* hostingURLVariable = "QS_HOSTING_URL";
inline constexpr const char* hubURLVariable = "QS_HUB_URL";
inline constexpr const char* apiKeyVariable = "QS_HOSTING_API_KEY";

// $QS_HOSTING_URL, else defaultBaseURL.
std::string hostingBaseURL();
// $QS_HUB_URL, else the "qs.hubBaseURL" setting when, trimmed of white space, it is an address
// with a scheme, else productionBaseURL.
std::string hubBaseURL(const QSSettings& settings);
// $QS_HOSTING_API_KEY, else the stored key; empty when there is none. Surrounding white space
// (a pasted line break) is dropped.
std::string apiKey(const QSSettings& settings);
// Stores `key` (trimmed) in the settings, after closing an older settings file to other users:
// the key goes only into a file that only its owner can read. Throws QSSystemError when the
// file cannot be written.
void storeAPIKey(QSSettings& settings, const std::string& key);
// The key as it may be shown: its last four characters after dots ("•••• 3f9a"); dots alone
// for a key of eight characters or fewer.
std::string maskedAPIKey(const std::string& key);
// Where apiKey() came from: "QS_HOSTING_API_KEY", "settings" or nothing.
std::optional<std::string> apiKeySource(const QSSettings& settings);

}  // namespace QSHostingConfiguration
}  // namespace qs

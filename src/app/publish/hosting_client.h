// A small typed client of the hosting service's JSON API: health, subdomains, sites, runtimes,
// machine options, deployments by archive upload and their build logs. Authenticated requests
// carry a bearer token from the token provider, never the API key itself.
#pragma once

#include "app/publish/hosting_records.h"
#include "app/publish/http_session.h"

#include <asio/awaitable.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qs {

class QSHubTokenService;

// Every operation throws QSPublishException (its cases carry the user's texts): an empty API
// key is notConfigured before anything is sent; 401/403 unauthorized; 404 notFound and 409
// conflict with the service's `reason`; other failing statuses server(status, reason); an
// answer that does not decode invalidResponse; transport failures (time-outs included)
// unreachable.
struct QSHostingClient {
  using TokenProvider = std::function<asio::awaitable<std::string>(std::string apiKey)>;
  using TokenInvalidator = std::function<void(const std::string& apiKey)>;

  std::string baseURL;
  std::string apiKey;
  std::shared_ptr<QSHTTPSession> session;
  TokenProvider tokenProvider;
  // Told when the service refuses a token, so that the next request exchanges a new one.
  TokenInvalidator tokenInvalidator;
  // Replaces every request's own time-out when set (tests keep it small).
  std::optional<std::chrono::milliseconds> timeoutOverride;

  // A client whose tokens come from `tokens`.
  static QSHostingClient make(std::string baseURL, std::string apiKey, QSHubTokenService& tokens,
                              std::shared_ptr<QSHTTPSession> session = QSHTTPSession::shared());

  asio::awaitable<QSHostingHealth> health() const;
  asio::awaitable<QSSubdomainAvailability> checkSubdomainAvailability(std::string subdomain) const;
  asio::awaitable<QSSite> site(std::string subdomain) const;
  asio::awaitable<QSSite> createSite(std::string subdomain, QSHostingTier tier) const;
  asio::awaitable<QSRuntime> provisionRuntime(std::string subdomain, bool needsDatabase) const;
  asio::awaitable<void> updateOptions(std::string subdomain, QSServerOptions options) const;
  asio::awaitable<QSRuntime> runtimeStatus(std::string subdomain) const;
  // Uploads the archive as multipart form data, streamed from disk. An archive that cannot be
  // read is archiveUnreadable ("couldn't read the packaged tarball: …").
  asio::awaitable<QSDeployAccepted> deploy(std::string subdomain, std::filesystem::path tarball) const;
  asio::awaitable<QSDeploymentLogs> deploymentLogs(std::string subdomain, QSUUID deploymentID,
                                                   std::optional<std::int64_t> cursor = std::nullopt) const;

  // The multipart framing around the archive's bytes for `boundary`.
  static QSHTTPRequest::FileBody multipartBody(const std::string& boundary, const std::string& subdomain,
                                               const std::filesystem::path& tarball);

private:
  struct Call {
    std::string method;
    std::string path;
    std::optional<std::string> jsonBody;
    std::chrono::seconds timeout;
    bool authenticated = true;
  };
  asio::awaitable<QSHTTPResponse> perform(Call call, std::optional<QSHTTPRequest::FileBody> file = std::nullopt,
                                          std::string contentType = {}) const;
  asio::awaitable<QSHTTPResponse> sendOnce(const QSHTTPRequest& request) const;
  QSHTTPRequest makeRequest(const Call& call) const;
};

}  // namespace qs

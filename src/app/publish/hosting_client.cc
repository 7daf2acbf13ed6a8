#include "app/publish/hosting_client.h"

#include "app/publish/hub_token_service.h"
#include "app/publish/publish_error.h"
#include "core/platform/uuid.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace qs {
namespace {

using namespace std::chrono_literals;

// A path segment with everything but unreserved characters percent-encoded, so a subdomain can
// never reach another path ("../x" stays one segment).
std::string segment(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') out += static_cast<char>(c);
    else out += fmt::format("%{:02X}", c);
  }
  return out;
}

// The `reason` of a failure body in the web framework's error shape, else the status's text.
std::string failureReason(const QSHTTPResponse& response) {
  auto parsed = nlohmann::json::parse(response.body, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_object())
    if (auto reason = parsed.find("reason"); reason != parsed.end() && reason->is_string()) return reason->get<std::string>();
  return httpStatusText(response.status);
}

void checkStatus(const QSHTTPResponse& response) {
  int status = response.status;
  if (status >= 200 && status <= 299) return;
  if (status == 401 || status == 403) throw QSPublishException(publishError::Unauthorized{});
  std::string reason = failureReason(response);
  if (status == 404) throw QSPublishException(publishError::NotFound{reason});
  if (status == 409) throw QSPublishException(publishError::Conflict{reason});
  throw QSPublishException(publishError::Server{status, reason});
}

template <class T>
T decodeAnswer(const QSHTTPResponse& response) {
  checkStatus(response);
  auto parsed = nlohmann::json::parse(response.body, nullptr, /*allow_exceptions=*/false);
  try {
    return fromJson<T>(parsed, QSCoder::stateFile());
  } catch (const QSDecodingError&) {
    throw QSPublishException(publishError::InvalidResponse{});
  } catch (const nlohmann::json::exception&) {
    throw QSPublishException(publishError::InvalidResponse{});
  }
}

std::string jsonBody(const nlohmann::json& value) { return value.dump(); }

}  // namespace

QSHostingClient QSHostingClient::make(std::string baseURL, std::string apiKey, QSHubTokenService& tokens,
                                      std::shared_ptr<QSHTTPSession> session) {
  QSHostingClient client;
  client.baseURL = std::move(baseURL);
  client.apiKey = std::move(apiKey);
  client.session = std::move(session);
  client.tokenProvider = [&tokens](std::string key) { return tokens.jwt(std::move(key)); };
  client.tokenInvalidator = [&tokens](const std::string& key) { tokens.invalidate(key); };
  return client;
}

QSHTTPRequest QSHostingClient::makeRequest(const Call& call) const {
  QSHTTPRequest request{.method = call.method,
                        .url = joinURL(baseURL, call.path),
                        .headers = {{"Accept", "application/json"}},
                        .timeout = timeoutOverride.value_or(call.timeout)};
  if (call.jsonBody) {
    request.headers.emplace_back("Content-Type", "application/json");
    request.body = *call.jsonBody;
  }
  return request;
}

asio::awaitable<QSHTTPResponse> QSHostingClient::sendOnce(const QSHTTPRequest& request) const {
  try {
    co_return co_await session->send(request);
  } catch (const QSHTTPException& e) {
    if (e.error().is<httpError::BodyUnreadable>()) throw QSPublishException(publishError::ArchiveUnreadable{e.what()});
    throw QSPublishException(publishError::Unreachable{e.what()});
  }
}

asio::awaitable<QSHTTPResponse> QSHostingClient::perform(Call call, std::optional<QSHTTPRequest::FileBody> file,
                                                         std::string contentType) const {
  QSHTTPRequest request = makeRequest(call);
  request.fileBody = std::move(file);
  if (!contentType.empty()) request.headers.emplace_back("Content-Type", contentType);
  if (!call.authenticated) co_return co_await sendOnce(request);

  if (apiKey.empty()) throw QSPublishException(publishError::NotConfigured{});
  request.headers.emplace_back("Authorization", "Bearer " + co_await tokenProvider(apiKey));
  QSHTTPResponse response = co_await sendOnce(request);
  if (response.status != 401 || !tokenInvalidator) co_return response;
  // The service no longer takes a token the hub gave out as still valid (it expired early,
  // or the clocks disagree): exchange once more and try again, once.
  tokenInvalidator(apiKey);
  request.headers.back().second = "Bearer " + co_await tokenProvider(apiKey);
  co_return co_await sendOnce(request);
}

asio::awaitable<QSHostingHealth> QSHostingClient::health() const {
  Call call{"GET", "health", std::nullopt, 30s, false};
  co_return decodeAnswer<QSHostingHealth>(co_await perform(std::move(call)));
}

asio::awaitable<QSSubdomainAvailability> QSHostingClient::checkSubdomainAvailability(std::string subdomain) const {
  Call call{"POST", "v1/sites/check-subdomain", jsonBody({{"subdomain", subdomain}}), 30s, false};
  co_return decodeAnswer<QSSubdomainAvailability>(co_await perform(std::move(call)));
}

asio::awaitable<QSSite> QSHostingClient::site(std::string subdomain) const {
  Call call{"GET", "v1/sites/" + segment(subdomain), std::nullopt, 30s};
  co_return decodeAnswer<QSSite>(co_await perform(std::move(call)));
}

asio::awaitable<QSSite> QSHostingClient::createSite(std::string subdomain, QSHostingTier tier) const {
  Call call{"POST", "v1/sites", jsonBody({{"subdomain", subdomain}, {"hostingTier", rawValue(tier)}}), 30s};
  co_return decodeAnswer<QSSite>(co_await perform(std::move(call)));
}

asio::awaitable<QSRuntime> QSHostingClient::provisionRuntime(std::string subdomain, bool needsDatabase) const {
  Call call{"POST", "v1/runtimes", jsonBody({{"subdomain", subdomain}, {"database", needsDatabase}}), 180s};
  co_return decodeAnswer<QSRuntime>(co_await perform(std::move(call)));
}

asio::awaitable<void> QSHostingClient::updateOptions(std::string subdomain, QSServerOptions options) const {
  nlohmann::json body = toJson(options, QSCoder::stateFile());
  body["apply"] = true;
  Call call{"PATCH", "v1/runtimes/" + segment(subdomain) + "/options", jsonBody(body), 180s};
  checkStatus(co_await perform(std::move(call)));
}

asio::awaitable<QSRuntime> QSHostingClient::runtimeStatus(std::string subdomain) const {
  Call call{"GET", "v1/runtimes/" + segment(subdomain), std::nullopt, 30s};
  co_return decodeAnswer<QSRuntime>(co_await perform(std::move(call)));
}

QSHTTPRequest::FileBody QSHostingClient::multipartBody(const std::string& boundary, const std::string& subdomain,
                                                       const std::filesystem::path& tarball) {
  std::string prefix = "--" + boundary + "\r\n" + "Content-Disposition: form-data; name=\"tarball\"; filename=\"" +
                       subdomain + ".tar.gz\"\r\n" + "Content-Type: application/gzip\r\n\r\n";
  return {std::move(prefix), tarball, "\r\n--" + boundary + "--\r\n"};
}

asio::awaitable<QSDeployAccepted> QSHostingClient::deploy(std::string subdomain, std::filesystem::path tarball) const {
  std::string boundary = QSUUID::random().string();
  Call call{"POST", "v1/runtimes/" + segment(subdomain) + "/deploy", std::nullopt, 300s};
  QSHTTPRequest::FileBody body = multipartBody(boundary, segment(subdomain), tarball);
  std::string contentType = "multipart/form-data; boundary=" + boundary;
  auto response = co_await perform(std::move(call), std::move(body), std::move(contentType));
  co_return decodeAnswer<QSDeployAccepted>(response);
}

asio::awaitable<QSDeploymentLogs> QSHostingClient::deploymentLogs(std::string subdomain, QSUUID deploymentID,
                                                                  std::optional<std::int64_t> cursor) const {
  std::string path = "v1/runtimes/" + segment(subdomain) + "/deployments/" + deploymentID.string() + "/logs";
  if (cursor) path += "?cursor=" + std::to_string(*cursor);
  Call call{"GET", std::move(path), std::nullopt, 30s};
  co_return decodeAnswer<QSDeploymentLogs>(co_await perform(std::move(call)));
}

}  // namespace qs

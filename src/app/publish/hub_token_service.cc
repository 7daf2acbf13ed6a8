#include "app/publish/hub_token_service.h"

#include "app/publish/hosting_configuration.h"
#include "app/publish/publish_error.h"
#include "core/platform/settings.h"

#include <nlohmann/json.hpp>

namespace qs {

std::string joinURL(const std::string& base, const std::string& path) {
  if (base.empty() || base.back() == '/') return base + path;
  return base + "/" + path;
}

QSHubTokenService::QSHubTokenService(std::string hubBaseURL, std::shared_ptr<QSHTTPSession> session,
                                     std::function<QSTimestamp()> clock)
    : hubBaseURL_(std::move(hubBaseURL)), session_(std::move(session)), clock_(std::move(clock)) {}

QSHubTokenService& QSHubTokenService::shared() {
  static QSHubTokenService service(QSHostingConfiguration::hubBaseURL(QSSettings::standard()), QSHTTPSession::shared());
  return service;
}

namespace {

struct TokenAnswer {
  std::string token;
  long long expiresIn = 0;
};

std::optional<TokenAnswer> decodeToken(const std::string& body) {
  auto parsed = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (!parsed.is_object()) return std::nullopt;
  auto token = parsed.find("token"), expiresIn = parsed.find("expiresIn");
  if (token == parsed.end() || !token->is_string() || expiresIn == parsed.end() || !expiresIn->is_number_integer())
    return std::nullopt;
  return TokenAnswer{token->get<std::string>(), expiresIn->get<long long>()};
}

}  // namespace

asio::awaitable<std::string> QSHubTokenService::jwt(std::string apiKey) {
  if (auto cached = cache_.find(apiKey); cached != cache_.end() && cached->second.expiresAt - clock_() > renewalMargin)
    co_return cached->second.token;

  QSHTTPRequest request{.method = "POST",
                        .url = joinURL(hubBaseURL_, "auth/token"),
                        .headers = {{"Accept", "application/json"}, {"Authorization", "Bearer " + apiKey}},
                        .timeout = timeout};
  QSHTTPResponse response;
  try {
    response = co_await session_->send(std::move(request));
  } catch (const QSHTTPException& e) {
    // The request has no file body, so every failure is the transfer's.
    throw QSPublishException(publishError::Unreachable{e.what()});
  }
  if (response.status == 401 || response.status == 403) throw QSPublishException(publishError::Unauthorized{});
  if (response.status < 200 || response.status > 299)
    throw QSPublishException(publishError::Server{response.status, httpStatusText(response.status)});
  auto answer = decodeToken(response.body);
  if (!answer) throw QSPublishException(publishError::InvalidResponse{});
  // The clock is read after the exchange, so the time it took counts against the token.
  cache_[apiKey] = {answer->token, clock_() + std::chrono::seconds(answer->expiresIn)};
  co_return answer->token;
}

void QSHubTokenService::invalidate(const std::string& apiKey) { cache_.erase(apiKey); }

void QSHubTokenService::invalidateAll() { cache_.clear(); }

}  // namespace qs

// Exchanges the user's long-lived API key at the account hub for a short-lived bearer token,
// and keeps each token until it is about to expire. The API key itself is only ever sent to
// the hub.
#pragma once

#include "app/publish/http_session.h"
#include "core/platform/timestamp.h"

#include <asio/awaitable.hpp>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace qs {

class QSHubTokenService {
public:
  // A token is exchanged again once it has this little time left.
  static constexpr std::chrono::seconds renewalMargin{60};

  QSHubTokenService(std::string hubBaseURL, std::shared_ptr<QSHTTPSession> session,
                    std::function<QSTimestamp()> clock = &QSTime::now);

  // The one instance every hosting client shares, on the configured hub (QS_HUB_URL, the
  // "qs.hubBaseURL" setting, or production).
  static QSHubTokenService& shared();

  // A bearer token for `apiKey`: the cached one while it has more than renewalMargin left,
  // else a new one from POST "auth/token" on the hub (Authorization: Bearer <apiKey>).
  // Throws QSPublishException: unauthorized for 401 and 403, server(status, standard text) for
  // other failing statuses, invalidResponse for a body without `token` and `expiresIn`,
  // unreachable for transport failures.
  asio::awaitable<std::string> jwt(std::string apiKey);
  // Drops the token cached for `apiKey`; the next jwt exchanges again.
  void invalidate(const std::string& apiKey);
  void invalidateAll();

  const std::string& hubBaseURL() const { return hubBaseURL_; }
  // How long an exchange may take.
  std::chrono::milliseconds timeout{60000};

private:
  struct CachedToken {
    std::string token;
    QSTimestamp expiresAt;
  };

  std::string hubBaseURL_;
  std::shared_ptr<QSHTTPSession> session_;
  std::function<QSTimestamp()> clock_;
  std::map<std::string, CachedToken> cache_;
};

// `path` resolved against `base` as a folder: "https://h/api" + "v1/sites" is
// "https://h/api/v1/sites" (a missing trailing slash on the base is supplied).
std::string joinURL(const std::string& base, const std::string& path);

}  // namespace qs

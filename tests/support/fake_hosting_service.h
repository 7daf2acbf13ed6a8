// A stand-in for the hosting service and its account hub, on one fake HTTP server: the hub
// under "/hub/", the API under "/api/". It keeps sites, runtimes and deployments as the real
// service would, checks bearer tokens, and plays scripted failures.
#pragma once

#include "support/fake_http_server.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <set>

namespace qs::testing {

class FakeHostingService {
public:
  // What the next publish meets. Set before the flow starts, or under lock() while it runs.
  struct Script {
    std::set<std::string> apiKeys{"key-123"};  // keys the hub accepts
    long long tokenLifetime = 3600;            // expiresIn of each token
    int tokenUses = -1;                        // requests a token serves before the API calls it expired (-1: unlimited)
    std::set<std::string> staticSites;         // subdomains already taken by a static-tier site
    std::optional<std::pair<int, std::string>> provisionFailure;  // status, reason
    std::optional<std::pair<int, std::string>> uploadFailure;     // status, reason
    std::set<std::string> silentPaths;  // paths (after "/api") that never answer
    std::set<std::string> malformedPaths;  // paths (after "/api") answered with a body that is not JSON
    std::vector<std::vector<std::string>> logPages{{"Compiling App", "Build complete"}};  // served in turn
    bool buildSucceeds = true;
    std::optional<std::string> buildError;      // the final page's errorMessage
    std::optional<std::string> finalURL;        // the final page's url
    std::optional<std::string> acceptedURL;     // the deploy acceptance's url
  };

  FakeHostingService() : server_([this](const FakeRequest& r) { return handle(r); }) {}

  std::string hubURL() const { return server_.url("/hub/"); }
  std::string apiURL() const { return server_.url("/api/"); }
  std::vector<FakeRequest> requests() const { return server_.requests(); }
  // "POST /api/v1/sites", … for every request, in order.
  std::vector<std::string> requestLines() const {
    std::vector<std::string> out;
    for (const auto& r : requests()) out.push_back(r.method + " " + r.path + (r.query.empty() ? "" : "?" + r.query));
    return out;
  }

  Script script;
  std::unique_lock<std::mutex> lock() { return std::unique_lock(mutex_); }
  int tokensIssued() {
    auto guard = lock();
    return static_cast<int>(tokens_.size());
  }
  // The archive bytes inside the multipart body of the last upload.
  std::string uploadedArchive() {
    auto guard = lock();
    auto start = lastUpload_.find("\r\n\r\n") + 4;
    return lastUpload_.substr(start, lastUpload_.rfind("\r\n--") - start);
  }
  std::vector<nlohmann::json> optionsRequests() {
    auto guard = lock();
    return options_;
  }
  // Whether the last runtime was provisioned with a database.
  std::optional<bool> provisionedDatabase() {
    auto guard = lock();
    return database_;
  }

private:
  static FakeResponse failure(int status, const std::string& reason) {
    return FakeResponse::json(status, nlohmann::json{{"error", true}, {"reason", reason}}.dump());
  }

  FakeResponse handle(const FakeRequest& request) {
    auto guard = lock();
    if (request.path == "/hub/auth/token" && request.method == "POST") return issueToken(request);
    if (request.path.rfind("/api/", 0) != 0) return failure(404, "Not Found");
    std::string path = request.path.substr(4);
    if (script.silentPaths.count(path)) return {.neverAnswer = true};
    if (script.malformedPaths.count(path)) return FakeResponse::json(200, "<html>maintenance</html>");
    if (path == "/health") return FakeResponse::json(200, R"({"status":"ok","build":"42","sha":"abc123"})");
    if (path == "/v1/sites/check-subdomain") return checkSubdomain(request);
    if (!authorized(request)) return failure(401, "Unauthorized");
    return route(request, path);
  }

  FakeResponse issueToken(const FakeRequest& request) {
    std::string auth = request.header("authorization");
    if (auth.rfind("Bearer ", 0) != 0 || !script.apiKeys.count(auth.substr(7))) return failure(401, "Invalid API key");
    std::string token = "token-" + std::to_string(tokens_.size() + 1);
    tokens_[token] = script.tokenUses;
    return FakeResponse::json(200, nlohmann::json{{"token", token}, {"expiresIn", script.tokenLifetime}}.dump());
  }

  bool authorized(const FakeRequest& request) {
    std::string auth = request.header("authorization");
    auto it = auth.rfind("Bearer ", 0) == 0 ? tokens_.find(auth.substr(7)) : tokens_.end();
    if (it == tokens_.end() || it->second == 0) return false;
    if (it->second > 0) --it->second;
    return true;
  }

  FakeResponse checkSubdomain(const FakeRequest& request) {
    std::string subdomain = nlohmann::json::parse(request.body).at("subdomain");
    bool taken = sites_.count(subdomain) || script.staticSites.count(subdomain);
    return FakeResponse::json(200, nlohmann::json{{"subdomain", subdomain}, {"available", !taken}}.dump());
  }

  static nlohmann::json siteJSON(const std::string& subdomain, const std::string& tier) {
    return {{"id", "6F9619FF-8B86-D011-B42D-00C04FC964FF"}, {"subdomain", subdomain}, {"hostingTier", tier},
            {"url", "https://" + subdomain + ".example.test"}, {"isDomainVerified", false},
            {"createdAt", "2026-12-01T10:00:00.250Z"}};
  }

  FakeResponse route(const FakeRequest& request, const std::string& path) {
    const std::string sites = "/v1/sites/", runtimes = "/v1/runtimes/";
    if (request.method == "GET" && path.rfind(sites, 0) == 0) {
      std::string subdomain = path.substr(sites.size());
      if (script.staticSites.count(subdomain)) return FakeResponse::json(200, siteJSON(subdomain, "static").dump());
      if (!sites_.count(subdomain)) return failure(404, "Site not found");
      return FakeResponse::json(200, siteJSON(subdomain, "vapor").dump());
    }
    if (request.method == "POST" && path == "/v1/sites") {
      auto body = nlohmann::json::parse(request.body);
      std::string subdomain = body.at("subdomain");
      if (sites_.count(subdomain)) return failure(409, "That subdomain is taken.");
      sites_.insert(subdomain);
      return FakeResponse::json(200, siteJSON(subdomain, body.at("hostingTier")).dump());
    }
    if (request.method == "POST" && path == "/v1/runtimes") return provision(request);
    if (request.method == "PATCH" && path.size() > 8 && path.substr(path.size() - 8) == "/options") {
      options_.push_back(nlohmann::json::parse(request.body));
      return FakeResponse::json(200, "{}");
    }
    if (request.method == "POST" && path.size() > 7 && path.substr(path.size() - 7) == "/deploy") return accept(request);
    if (request.method == "GET" && path.rfind(runtimes, 0) == 0 && path.substr(path.size() - 5) == "/logs")
      return logPage();
    return failure(404, "Not Found");
  }

  FakeResponse provision(const FakeRequest& request) {
    if (script.provisionFailure) return failure(script.provisionFailure->first, script.provisionFailure->second);
    auto body = nlohmann::json::parse(request.body);
    database_ = body.at("database").get<bool>();
    std::string subdomain = body.at("subdomain");
    return FakeResponse::json(200, nlohmann::json{{"id", "0E984725-C51C-4BF4-9960-E1C80E27ABA0"}, {"status", "ready"},
                                                  {"flyAppName", "qs-" + subdomain}, {"siteSubdomain", subdomain}}
                                       .dump());
  }

  FakeResponse accept(const FakeRequest& request) {
    if (script.uploadFailure) return failure(script.uploadFailure->first, script.uploadFailure->second);
    lastUpload_ = request.body;
    nextPage_ = 0;
    nlohmann::json out{{"deploymentID", "C2F2D1A6-5F64-4B55-9D0E-3A1E4B7F0001"}, {"status", "queued"}};
    if (script.acceptedURL) out["url"] = *script.acceptedURL;
    return FakeResponse::json(200, out.dump());
  }

  FakeResponse logPage() {
    std::vector<std::string> lines;
    if (nextPage_ < script.logPages.size()) lines = script.logPages[nextPage_];
    ++nextPage_;
    cursor_ += static_cast<long long>(lines.size());
    bool finished = nextPage_ >= script.logPages.size();
    nlohmann::json out{{"deploymentID", "C2F2D1A6-5F64-4B55-9D0E-3A1E4B7F0001"},
                       {"status", finished ? (script.buildSucceeds ? "succeeded" : "failed") : "building"},
                       {"lines", lines},
                       {"nextCursor", cursor_},
                       {"finished", finished}};
    if (finished && script.finalURL) out["url"] = *script.finalURL;
    if (finished && script.buildError) out["errorMessage"] = *script.buildError;
    return FakeResponse::json(200, out.dump());
  }

  std::mutex mutex_;
  std::map<std::string, int> tokens_;  // token → uses left (-1 unlimited)
  std::set<std::string> sites_;
  std::vector<nlohmann::json> options_;
  std::optional<bool> database_;
  std::string lastUpload_;
  std::size_t nextPage_ = 0;
  long long cursor_ = 0;
  FakeHTTPServer server_;  // last: it stops (joining its threads) before the state above goes
};

}  // namespace qs::testing

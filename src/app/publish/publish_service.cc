#include "app/publish/publish_service.h"

#include "app/publish/hosting_configuration.h"
#include "app/publish/hub_token_service.h"
#include "app/publish/publish_error.h"
#include "core/platform/files.h"
#include "core/platform/text.h"

#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <algorithm>
#include <cctype>

namespace qs {

namespace fs = std::filesystem;
using Kind = QSPublishPhase::Kind;

namespace {

asio::awaitable<void> sleepFor(std::chrono::milliseconds interval) {
  asio::steady_timer timer(co_await asio::this_coro::executor, interval);
  co_await timer.async_wait(asio::use_awaitable);
}

bool mentionsFluent(const fs::path& file) {
  auto text = readFileIfPresent(file);
  if (!text) return false;
  return asciiLowercased(*text).find("fluent") != std::string::npos;
}

}  // namespace

QSPublishService::QSPublishService(std::string apiKey, std::string hostingBaseURL, QSProjectPackager packager)
    : QSPublishService(QSHostingClient::make(std::move(hostingBaseURL), std::move(apiKey), QSHubTokenService::shared()),
                       std::move(packager)) {}

QSPublishService::QSPublishService(QSHostingClient client, QSProjectPackager packager)
    : client(std::move(client)), packager(std::move(packager)), pause(&sleepFor) {}

bool QSPublishService::usesDatabase(const fs::path& projectFolder) {
  // Either is enough: a Package.resolved not yet updated after Fluent was added says nothing.
  return mentionsFluent(projectFolder / "Package.resolved") || mentionsFluent(projectFolder / "Package.swift");
}

void QSPublishService::setPhase(QSPublishPhase phase) {
  phase_ = std::move(phase);
  if (phase_.isActive()) phaseStartedAt_ = clock();
  else phaseStartedAt_.reset();
  if (onPhaseChange) onPhaseChange(phase_);
}

void QSPublishService::append(const std::vector<std::string>& lines) {
  console_.insert(console_.end(), lines.begin(), lines.end());
  while (console_.size() > consoleLimit) console_.pop_front();
  if (onConsoleLines) onConsoleLines(lines);
}

void QSPublishService::reset() {
  console_.clear();
  failedDuring_.reset();
  setPhase({});
}

asio::awaitable<void> QSPublishService::ensureSite(const std::string& subdomain) {
  std::optional<QSSite> existing;
  try {
    existing = co_await client.site(subdomain);
  } catch (const QSPublishException& e) {
    if (!e.error().is<publishError::NotFound>()) throw;
  }
  if (!existing) {
    co_await client.createSite(subdomain, QSHostingTier::vapor);
  } else if (existing->hostingTier != QSHostingTier::vapor) {
    throw QSPublishException(
        publishError::Conflict{"'" + subdomain + "' already exists but isn't a Vapor-tier site."});
  }
}

asio::awaitable<QSDeploymentLogs> QSPublishService::followLog(const std::string& subdomain, const QSUUID& deploymentID) {
  std::optional<std::int64_t> cursor;
  for (;;) {
    QSDeploymentLogs page = co_await client.deploymentLogs(subdomain, deploymentID, cursor);
    if (!page.lines.empty()) {
      append(page.lines);
      cursor = page.nextCursor;
    }
    if (page.finished) co_return page;
    if (page.lines.empty()) co_await pause(logPollInterval);
  }
}

asio::awaitable<void> QSPublishService::run(const fs::path& projectFolder, const std::string& subdomain,
                                            const QSServerOptions& options, std::optional<bool> database,
                                            std::optional<fs::path>& archive) {
  setPhase({Kind::checkingAPI});
  co_await client.health();
  setPhase({Kind::preparingSite});
  co_await ensureSite(subdomain);
  setPhase({Kind::provisioning});
  co_await client.provisionRuntime(subdomain, database.value_or(usesDatabase(projectFolder)));
  if (options.isNonDefault()) co_await client.updateOptions(subdomain, options);
  setPhase({Kind::packaging});
  std::vector<std::string> excludes = QSProjectPackager::defaultExcludes;
  if (excludeEnv) excludes.push_back(".env");
  archive = co_await packager.package(projectFolder, excludes, archiveFolder);
  setPhase({Kind::uploading});
  QSDeployAccepted accepted = co_await client.deploy(subdomain, *archive);
  setPhase({Kind::deploying});
  QSDeploymentLogs last = co_await followLog(subdomain, accepted.deploymentID);
  if (last.status == QSDeploymentStatus::succeeded) {
    std::string fallback = "https://" + subdomain + "." + QSHostingConfiguration::publicSiteDomain;
    setPhase(QSPublishPhase::succeeded(last.url.value_or(accepted.url.value_or(fallback))));
  } else {
    failedDuring_ = Kind::deploying;
    setPhase(QSPublishPhase::failed(last.errorMessage.value_or("The build failed. See the log below.")));
  }
}

asio::awaitable<void> QSPublishService::publish(fs::path projectFolder, std::string subdomain, QSServerOptions options,
                                                std::optional<bool> database) {
  console_.clear();
  failedDuring_.reset();
  std::optional<fs::path> archive;
  std::optional<std::string> failure;
  try {
    co_await run(projectFolder, subdomain, options, database, archive);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (archive) QSProjectPackager::discard(*archive);
  if (failure) {
    failedDuring_ = phase_.kind;
    setPhase(QSPublishPhase::failed(*failure));
  }
}

}  // namespace qs

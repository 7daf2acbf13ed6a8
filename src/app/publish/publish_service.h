// The whole publish of one local project: check the API, make sure a Vapor-tier site exists
// for the subdomain, provision its runtime, apply non-default machine options, package the
// project, upload it and follow the remote build's log until it ends. Observers see every
// phase change and every log line as it comes.
#pragma once

#include "app/publish/hosting_client.h"
#include "app/publish/project_packager.h"
#include "app/publish/publish_phase.h"
#include "core/platform/timestamp.h"

#include <asio/awaitable.hpp>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qs {

class QSPublishService {
public:
  // The console keeps the newest this many lines.
  static constexpr std::size_t consoleLimit = 5000;
  // How long to wait before asking for more of a build log that had nothing new.
  static constexpr std::chrono::milliseconds logPollInterval{2000};

  // A client on `hostingBaseURL` with `apiKey`, whose tokens come from the shared token service.
  QSPublishService(std::string apiKey, std::string hostingBaseURL, QSProjectPackager packager = {});
  QSPublishService(QSHostingClient client, QSProjectPackager packager = {});

  const QSPublishPhase& phase() const { return phase_; }
  // When the current working phase began; nothing outside the working phases.
  std::optional<QSTimestamp> phaseStartedAt() const { return phaseStartedAt_; }
  const std::deque<std::string>& consoleOutput() const { return console_; }
  // The working phase the flow was in when it failed; nothing unless the phase is failed.
  std::optional<QSPublishPhase::Kind> failedDuring() const { return failedDuring_; }

  // Called after every phase change, and with each batch of log lines as it is appended.
  std::function<void(const QSPublishPhase&)> onPhaseChange;
  std::function<void(const std::vector<std::string>&)> onConsoleLines;

  // Runs the flow; never throws. The outcome is the final phase: succeeded with the site's
  // address, or failed with the failing step's message. `database` absent: the project decides
  // (usesDatabase). The temporary archive is deleted whatever the outcome. Cancelling the
  // surrounding coroutine stops the log polling at its next wait.
  asio::awaitable<void> publish(std::filesystem::path projectFolder, std::string subdomain, QSServerOptions options,
                                std::optional<bool> database = std::nullopt);
  // Back to idle with an empty console.
  void reset();

  // True when Package.resolved or Package.swift mentions "fluent" (any case).
  static bool usesDatabase(const std::filesystem::path& projectFolder);

  QSHostingClient client;
  QSProjectPackager packager;
  // Where the archive is written (default: a private folder in the temporary folder).
  std::optional<std::filesystem::path> archiveFolder;
  // Leaves the project's .env out of the upload (it goes with it otherwise).
  bool excludeEnv = false;
  // The pause between empty log pages; tests replace it to see the pauses without taking them.
  std::function<asio::awaitable<void>(std::chrono::milliseconds)> pause;
  std::function<QSTimestamp()> clock = &QSTime::now;

private:
  void setPhase(QSPublishPhase phase);
  void append(const std::vector<std::string>& lines);
  asio::awaitable<void> run(const std::filesystem::path& projectFolder, const std::string& subdomain,
                            const QSServerOptions& options, std::optional<bool> database,
                            std::optional<std::filesystem::path>& archive);
  asio::awaitable<void> ensureSite(const std::string& subdomain);
  asio::awaitable<QSDeploymentLogs> followLog(const std::string& subdomain, const QSUUID& deploymentID);

  QSPublishPhase phase_;
  std::optional<QSTimestamp> phaseStartedAt_;
  std::deque<std::string> console_;
  std::optional<QSPublishPhase::Kind> failedDuring_;
};

}  // namespace qs

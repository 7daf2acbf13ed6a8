// The mail catcher as the process that owns the services runs it: the SMTP listener started
// from the settings, every caught message stored in the mail folder (at most 500, the earliest
// arrival dropped first), the project that sent it recorded beside it, and an event for subscribers.
// Lives on the service loop.
#pragma once

#include "core/mail/mail_environment.h"
#include "core/mail/mail_index.h"
#include "core/mail/mail_store.h"
#include "core/mail/smtp_server.h"
#include "core/platform/folder_changes.h"
#include "core/platform/settings.h"
#include "core/protocol/event.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/thread_pool.hpp>

#include <functional>
#include <map>
#include <set>
#include <memory>
#include <optional>
#include <string>

namespace qs {

// What the settings say about the catcher: "qs.mailEnabled" (on unless stored as false) and
// "qs.mailSMTPPort" (a decimal integer as text; 1025 when absent, empty or not a number;
// clamped to 0–65535).
struct QSMailSettings {
  static constexpr int defaultPort = 1025;
  bool enabled = true;
  int port = defaultPort;
  static QSMailSettings read(QSSettings settings);
};

class QSMailCatcher : public std::enable_shared_from_this<QSMailCatcher> {
public:
  static constexpr std::size_t maxMessages = 500;

  struct Hooks {
    std::function<void(QSEvent)> emit;
    // A daemon log line (already prefixed).
    std::function<void(const std::string&)> log;
    // The process ids of the project servers now building or running, each with its project.
    std::function<std::map<std::int32_t, QSUUID>()> serverPIDs;
    // A project's current name; nothing once it has been removed.
    std::function<std::optional<std::string>(const QSUUID&)> projectName;
  };

  QSMailCatcher(asio::any_io_executor executor, asio::thread_pool& workers, QSMailStore store, Hooks hooks);

  // Reads the settings and, unless switched off, starts listening. Never throws: a listener
  // that cannot start is logged and reported by status().
  asio::awaitable<void> start(QSMailSettings settings);
  void stop();
  QSMailStatus status() const;
  // The port it listens on and the one the settings ask for; nothing while it does not listen.
  std::optional<QSCatcherPorts> ports() const;

private:
  asio::awaitable<bool> keep(QSCaughtMail mail);
  asio::awaitable<std::optional<QSMailOrigin>> identify(std::uint16_t clientPort);
  void pruneIfFull(const QSUUID& justKept);
  void catchUpWithFolder();
  void saveIndex();

  asio::any_io_executor executor_;
  asio::thread_pool& workers_;
  QSMailStore store_;
  Hooks hooks_;
  std::shared_ptr<QSSMTPServer> server_;
  QSMailIndex index_;
  QSMailSettings settings_;
  std::optional<std::string> startError_;
  // The message files, oldest first, as the folder holds them: a listing kept up to date with
  // the folder's changes, as `qs mail rm` and `qs mail clear` remove files behind our back.
  std::set<QSMailFileName> files_;
  std::unique_ptr<QSFolderChanges> changes_;
};

}  // namespace qs

#include "core/engine/mail_catcher.h"

#include "core/engine/off_loop.h"
#include "core/mail/mail_sender.h"
#include "core/mail/mail_summary.h"
#include "core/platform/files.h"

#include <algorithm>
#include <charconv>

namespace qs {
namespace {

constexpr const char* kEnabledKey = "qs.mailEnabled";
constexpr const char* kPortKey = "qs.mailSMTPPort";

std::optional<long long> decimalInteger(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  long long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

QSMailSettings QSMailSettings::read(QSSettings settings) {
  settings.registerDefaults({{kEnabledKey, true}});
  QSMailSettings out;
  out.enabled = settings.boolValue(kEnabledKey);
  // The value is text; a number written into the file by hand is taken too.
  std::optional<long long> port = decimalInteger(settings.stringValue(kPortKey));
  if (!port && settings.intValue(kPortKey) != 0) port = settings.intValue(kPortKey);
  out.port = static_cast<int>(std::clamp<long long>(port.value_or(defaultPort), 0, 65535));
  return out;
}

QSMailCatcher::QSMailCatcher(asio::any_io_executor executor, asio::thread_pool& workers, QSMailStore store, Hooks hooks)
    : executor_(executor), workers_(workers), store_(std::move(store)), hooks_(std::move(hooks)) {}

asio::awaitable<void> QSMailCatcher::start(QSMailSettings settings) {
  settings_ = settings;
  index_ = QSMailIndex::load(store_.folder());
  // Watched before it is listed, so that no change falls between the two. Without a watch
  // (no folder, or no inotify), the folder is listed whenever pruning looks due.
  changes_.reset();
  try {
    createDirectories(store_.folder(), 0700);
    changes_ = std::make_unique<QSFolderChanges>(store_.folder());
    if (!changes_->watching()) changes_.reset();
  } catch (const std::exception&) {
    // Saving will fail and say why.
  }
  // A write cut short by a crash leaves its hidden temporary file behind.
  if (int leftovers = store_.removeLeftovers())
    hooks_.log("quaysided: removed " + std::to_string(leftovers) + " unfinished mail file" +
               (leftovers == 1 ? "" : "s") + " left by an earlier run");
  auto listed = store_.list();
  files_ = std::set<QSMailFileName>(listed.begin(), listed.end());
  if (!settings.enabled) {
    hooks_.log("quaysided: the mail catcher is switched off (qs.mailEnabled is false)");
    co_return;
  }
  if (!server_) {
    std::weak_ptr<QSMailCatcher> weak = weak_from_this();
    QSSMTPServer::Options options{
        .sink = [weak](QSCaughtMail mail) -> asio::awaitable<bool> {
          auto self = weak.lock();
          co_return self ? co_await self->keep(std::move(mail)) : false;
        },
        .identifySender = [weak](std::uint16_t port) -> asio::awaitable<std::optional<QSMailOrigin>> {
          auto self = weak.lock();
          if (!self) co_return std::nullopt;
          co_return co_await self->identify(port);
        },
    };
    server_ = std::make_shared<QSSMTPServer>(executor_, static_cast<std::uint16_t>(settings.port), std::move(options));
  }
  try {
    co_await server_->start();
    startError_.reset();
    hooks_.log("quaysided: catching mail on 127.0.0.1:" + std::to_string(server_->boundPort()));
  } catch (const std::exception& e) {
    startError_ = e.what();
    hooks_.log("quaysided: couldn't start the mail catcher on port " + std::to_string(settings.port) + ": " + e.what());
  }
}

void QSMailCatcher::stop() {
  if (server_) server_->stop();
}

QSMailStatus QSMailCatcher::status() const {
  bool running = server_ && server_->isRunning();
  return QSMailStatus{
      .enabled = settings_.enabled,
      .running = running,
      .port = running ? server_->boundPort() : settings_.port,
      .startError = startError_,
      .messageCount = static_cast<int>(store_.list().size()),
  };
}

std::optional<QSCatcherPorts> QSMailCatcher::ports() const {
  if (!server_ || !server_->isRunning()) return std::nullopt;
  return QSCatcherPorts{server_->boundPort(), settings_.port};
}

asio::awaitable<std::optional<QSMailOrigin>> QSMailCatcher::identify(std::uint16_t clientPort) {
  auto pids = hooks_.serverPIDs();
  if (pids.empty() || !server_) co_return std::nullopt;
  std::uint16_t catcherPort = server_->boundPort();
  auto lookup = [clientPort, catcherPort, pids] { return findSendingProject(clientPort, catcherPort, pids); };
  std::optional<QSUUID> project = co_await runOffLoop(workers_, executor_, lookup);
  if (!project) co_return std::nullopt;
  auto name = hooks_.projectName(*project);
  if (!name) co_return std::nullopt;
  co_return QSMailOrigin{*project, *name};
}

asio::awaitable<bool> QSMailCatcher::keep(QSCaughtMail mail) {
  auto message = std::make_shared<QSMailMessage>(std::move(mail.message));
  QSMailStore store = store_;
  // The write waits for the disk: off the loop, so that other sessions go on meanwhile.
  auto save = [store, message, arrivedAt = mail.arrivedAt]() -> std::string {
    try {
      store.save(*message, arrivedAt);
      return {};
    } catch (const std::exception& e) {
      return e.what();
    }
  };
  std::string failure = co_await runOffLoop(workers_, executor_, save);
  if (!failure.empty()) {
    hooks_.log("quaysided: couldn't save mail \"" + message->subject + "\" from " + message->from + ": " + failure);
    co_return false;
  }
  files_.insert({mail.arrivedAt.time_since_epoch().count(), message->id});
  if (mail.origin) {
    index_.record(message->id, *mail.origin);
    saveIndex();
  }
  pruneIfFull(message->id);
  hooks_.emit(evt::MailReceived{summarize(*message, mail.origin)});
  co_return true;
}

void QSMailCatcher::catchUpWithFolder() {
  auto batch = changes_ ? changes_->take() : QSFolderChanges::Batch{.changes = {}, .incomplete = true};
  if (batch.incomplete) {
    if (changes_ && !changes_->watching()) changes_.reset();  // the folder went away
    auto listed = store_.list();
    files_ = std::set<QSMailFileName>(listed.begin(), listed.end());
    return;
  }
  for (const auto& change : batch.changes) {
    auto name = QSMailStore::decodeFileName(change.name);
    if (!name) continue;
    if (change.added) files_.insert(*name);
    else files_.erase(*name);
  }
}

void QSMailCatcher::pruneIfFull(const QSUUID& justKept) {
  // Without a watch the folder is listed only when the count we keep says it is over the cap;
  // with one, its changes cost a read that finds nothing more often than not.
  if (changes_ || files_.size() > maxMessages) catchUpWithFolder();
  // Oldest arrival first; the message just acknowledged stays whatever its time says (a clock
  // set back would otherwise make it the oldest).
  std::vector<QSUUID> removed;
  for (auto file = files_.begin(); files_.size() > maxMessages && file != files_.end();) {
    if (file->id == justKept) {
      ++file;
      continue;
    }
    store_.removeFile(*file);
    removed.push_back(file->id);
    file = files_.erase(file);
  }
  if (index_.forget(removed)) saveIndex();
}

void QSMailCatcher::saveIndex() {
  try {
    index_.save(store_.folder());
  } catch (const std::exception& e) {
    hooks_.log(std::string("quaysided: couldn't save the mail index: ") + e.what());
  }
}

}  // namespace qs

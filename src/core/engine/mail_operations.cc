#include "core/engine/mail_operations.h"

namespace qs {

QSMailOperations::QSMailOperations(QSEngineState& state, std::shared_ptr<QSServerSupervisor> servers,
                                   bool runMailCatcher)
    : state_(state), servers_(std::move(servers)), runMailCatcher_(runMailCatcher) {}

asio::awaitable<void> QSMailOperations::start() {
  if (!runMailCatcher_) co_return;
  QSMailCatcher::Hooks hooks{
      .emit = [this](QSEvent event) { state_.emit(std::move(event)); },
      .log = [this](const std::string& line) { state_.log(line); },
      .serverPIDs = [this] { return servers_->launches().serverProcessIDs(); },
      .projectName = [this](const QSUUID& id) -> std::optional<std::string> {
        const QSProject* p = state_.project(id);
        return p ? std::optional<std::string>(p->name) : std::nullopt;
      },
  };
  mail_ = std::make_shared<QSMailCatcher>(state_.executor, state_.workers, QSMailStore::standard(), std::move(hooks));
  co_await mail_->start(QSMailSettings::read(QSSettings::standard()));
}

void QSMailOperations::stop() {
  if (mail_) mail_->stop();
}

std::optional<QSMailStatus> QSMailOperations::status() const {
  if (mail_) return mail_->status();
  return std::nullopt;
}

std::optional<QSCatcherPorts> QSMailOperations::ports() const { return mail_ ? mail_->ports() : std::nullopt; }

// Where the catcher really listens, which is not 1025 when another program holds that port.
int QSMailOperations::projectPort() const {
  auto ports = mail_ ? mail_->ports() : std::nullopt;
  return ports ? ports->listening : mail_ ? mail_->status().port : QSMailSettings::defaultPort;
}

}  // namespace qs

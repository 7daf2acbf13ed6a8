// The mail catcher as the engine runs it (when asked to) from bootstrap to shutdown, and what the
// rest of the engine asks of it: its status, and the port projects send their mail to.
#pragma once

#include "core/engine/engine_state.h"
#include "core/engine/mail_catcher.h"
#include "core/engine/server_supervisor.h"

#include <asio/awaitable.hpp>

#include <memory>
#include <optional>

namespace qs {

class QSMailOperations {
public:
  // `servers` tells which project sent a message. Without `runMailCatcher` no catcher runs.
  QSMailOperations(QSEngineState& state, std::shared_ptr<QSServerSupervisor> servers, bool runMailCatcher);

  // Runs the SMTP catcher (from settings.json, into the data folder's "mail") when the engine is
  // to run one.
  asio::awaitable<void> start();
  void stop();
  // The catcher's status; nothing when the engine runs none.
  std::optional<QSMailStatus> status() const;
  // The port the catcher listens on and the one the settings ask for; nothing while it does not listen.
  std::optional<QSCatcherPorts> ports() const;
  // The SMTP port a new project's .env names.
  int projectPort() const;

private:
  QSEngineState& state_;
  std::shared_ptr<QSServerSupervisor> servers_;
  bool runMailCatcher_ = false;
  std::shared_ptr<QSMailCatcher> mail_;
};

}  // namespace qs

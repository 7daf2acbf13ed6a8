#include "core/protocol/daemon_error.h"

namespace qs {

std::string QSDaemonError::message() const {
  // Exhaustive on purpose: a new case without a message does not compile.
  return visit(QSOverloaded{
      [](const daemonError::ProjectNotFound& e) { return "No project matching '" + e.value + "'."; },
      [](const daemonError::DatabaseNotFound& e) { return "No database matching '" + e.value + "'."; },
      [](const daemonError::InvalidProjectPath& e) { return "'" + e.value + "' is not a valid Vapor project."; },
      [](const daemonError::PortInUse& e) { return "Port " + std::to_string(e.value) + " is already in use."; },
      [](const daemonError::RequiresInteractiveSession& e) {
        return "This operation needs an interactive session: " + e.value;
      },
      [](const daemonError::OperationFailed& e) { return e.value; },
      [](const daemonError::DaemonUnavailable&) {
        return std::string("The Quayside daemon isn't running. Start it with 'quayside daemon start'.");
      },
      [](const daemonError::NotConnected&) { return std::string("Not connected to the Quayside daemon."); },
      [](const daemonError::InvalidResponse&) { return std::string("Received a malformed response from the daemon."); },
      [](const daemonError::Timeout&) { return std::string("The operation timed out."); },
      [](const daemonError::InsufficientPermissions&) {
        return std::string("This operation requires elevated privileges.");
      },
  });
}

}  // namespace qs

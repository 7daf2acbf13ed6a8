#include "core/protocol/daemon_error.h"

namespace qs {

std::string QSDaemonError::message() const {
  // Exhaustive on purpose: a new case without a message does not compile.
  return visit(QSOverloaded{
      [](const derr::ProjectNotFound& e) { return "No project matching '" + e.value + "'."; },
      [](const derr::DatabaseNotFound& e) { return "No database matching '" + e.value + "'."; },
      [](const derr::InvalidProjectPath& e) { return "'" + e.value + "' is not a valid Vapor project."; },
      [](const derr::PortInUse& e) { return "Port " + std::to_string(e.value) + " is already in use."; },
      [](const derr::RequiresInteractiveSession& e) {
        return "This operation needs an interactive session: " + e.value;
      },
      [](const derr::OperationFailed& e) { return e.value; },
      [](const derr::DaemonUnavailable&) {
        return std::string("The Quayside daemon isn't running. Start it with 'quayside daemon start'.");
      },
      [](const derr::NotConnected&) { return std::string("Not connected to the Quayside daemon."); },
      [](const derr::InvalidResponse&) { return std::string("Received a malformed response from the daemon."); },
      [](const derr::Timeout&) { return std::string("The operation timed out."); },
      [](const derr::InsufficientPermissions&) {
        return std::string("This operation requires elevated privileges.");
      },
  });
}

}  // namespace qs

// The protocol's error type: each case carries the text the user sees.
#pragma once

#include "core/models/case_coding.h"
#include "core/platform/error_exception.h"

#include <string>

namespace qs {

// Cases of QSDaemonError.
namespace daemonError {
using ProjectNotFound = QSUnnamedCase<"projectNotFound", std::string>;    // the name or id asked for
using DatabaseNotFound = QSUnnamedCase<"databaseNotFound", std::string>;  // the name or id asked for
using InvalidProjectPath = QSUnnamedCase<"invalidProjectPath", std::string>;  // the path
using PortInUse = QSUnnamedCase<"portInUse", int>;
using RequiresInteractiveSession = QSUnnamedCase<"requiresInteractiveSession", std::string>;  // why
using OperationFailed = QSUnnamedCase<"operationFailed", std::string>;  // the whole message
using DaemonUnavailable = QSEmptyCase<"daemonUnavailable">;
using NotConnected = QSEmptyCase<"notConnected">;
using InvalidResponse = QSEmptyCase<"invalidResponse">;
using Timeout = QSEmptyCase<"timeout">;
using InsufficientPermissions = QSEmptyCase<"insufficientPermissions">;
}  // namespace daemonError

// A failure reported by the daemon, the engine or the client, e.g.
// QSDaemonError(daemonError::PortInUse{8080}).message() == "Port 8080 is already in use.".
struct QSDaemonError
    : QSEnumeration<daemonError::ProjectNotFound, daemonError::DatabaseNotFound, daemonError::InvalidProjectPath, daemonError::PortInUse,
                    daemonError::RequiresInteractiveSession, daemonError::OperationFailed, daemonError::DaemonUnavailable,
                    daemonError::NotConnected, daemonError::InvalidResponse, daemonError::Timeout, daemonError::InsufficientPermissions> {
  using QSEnumeration::QSEnumeration;
  static constexpr std::string_view typeName = "QSDaemonError";

  // The user-facing text, wherever the error is shown or logged.
  std::string message() const;
};

// A QSDaemonError thrown inside the engine, the daemon and the client; `what()` is its message.
using QSDaemonException = QSErrorException<QSDaemonError>;

}  // namespace qs

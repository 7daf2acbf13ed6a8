// The protocol's error type: each case carries the text the user sees.
#pragma once

#include "core/protocol/case_coding.h"

#include <exception>
#include <string>

namespace qs {

// Cases of QSDaemonError.
namespace derr {
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
}  // namespace derr

// A failure reported by the daemon, the engine or the client, e.g.
// QSDaemonError(derr::PortInUse{8080}).message() == "Port 8080 is already in use.".
struct QSDaemonError
    : QSEnumeration<derr::ProjectNotFound, derr::DatabaseNotFound, derr::InvalidProjectPath, derr::PortInUse,
                    derr::RequiresInteractiveSession, derr::OperationFailed, derr::DaemonUnavailable,
                    derr::NotConnected, derr::InvalidResponse, derr::Timeout, derr::InsufficientPermissions> {
  using QSEnumeration::QSEnumeration;
  static constexpr std::string_view typeName = "QSDaemonError";

  // The user-facing text, wherever the error is shown or logged.
  std::string message() const;
};

// A QSDaemonError thrown inside the engine, the daemon and the client; `what()` is its message.
class QSDaemonException : public std::exception {
public:
  explicit QSDaemonException(QSDaemonError error) : error_(std::move(error)), message_(error_.message()) {}
  const QSDaemonError& error() const { return error_; }
  const char* what() const noexcept override { return message_.c_str(); }

private:
  QSDaemonError error_;
  std::string message_;
};

}  // namespace qs

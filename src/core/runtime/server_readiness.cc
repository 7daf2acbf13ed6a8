#include "core/runtime/server_readiness.h"

namespace qs {

bool QSServerReadiness::indicatesServerReady(std::string_view line) {
  // Vapor has said both "Server starting on http://…" and "Server started on http://…" over
  // its versions; the common prefix plus the scheme catches either without a version check.
  return line.find("Server start") != std::string_view::npos && line.find("http") != std::string_view::npos;
}

QSServerExit::Outcome QSServerExit::outcome(std::int32_t exitCode) {
  if (exitCode == 0) return {QSServerStatus::stopped, "[Server stopped]", std::nullopt};
  std::string message = "Process exited with code " + std::to_string(exitCode);
  return {QSServerStatus::error, "[" + message + "]", message};
}

}  // namespace qs

// What a project server's console and exit status say about its state: the readiness line
// that moves it from building to running, and the outcome of its exit.
#pragma once

#include "core/models/server.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qs {

namespace QSServerReadiness {

// True when the console line announces that the server listens: it contains both "Server start"
// and "http" (case-sensitive, anywhere in the line), as in
// "[ NOTICE ] Server started on http://0.0.0.0:8080".
bool indicatesServerReady(std::string_view line);

}  // namespace QSServerReadiness

namespace QSServerExit {

struct Outcome {
  QSServerStatus status = QSServerStatus::stopped;
  std::string logLine;                      // appended to the console log
  std::optional<std::string> errorMessage;  // shown as the server's error

  bool operator==(const Outcome&) const = default;
};

// Exit code 0: stopped, "[Server stopped]", no error. Any other code N (negative ones keep
// their sign): error, "[Process exited with code N]", "Process exited with code N".
Outcome outcome(std::int32_t exitCode);

}  // namespace QSServerExit

}  // namespace qs

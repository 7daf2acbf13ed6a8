// The server state a console shows while `swift run` resolves, builds and starts a project:
// status, start time and the build-progress text, derived line by line from the output.
// Pure: the desktop application's server view and the command-line tool share it.
#pragma once

#include "core/models/server.h"
#include "core/platform/timestamp.h"

#include <optional>
#include <string>
#include <string_view>

namespace qs {

struct QSServerConsoleState {
  QSServerStatus status = QSServerStatus::starting;
  std::optional<QSTimestamp> startedAt;
  std::string buildProgress;             // empty: no progress shown
  bool isResolvingDependencies = false;

  bool operator==(const QSServerConsoleState&) const = default;
};

// Applies one console line to `state`. Three independent checks, in this order, the later
// winning where they write the same field (all substring tests case-sensitive):
//  1. Build progress: a line with "[" and "]" that mentions "Compiling", "Linking" or
//     "Build complete" moves the status to building; "Build complete" shows "Starting server…",
//     otherwise the first "[n/m]" counter is shown as "Compiling [n/m]", "Linking [n/m]" or
//     "Building [n/m]" (no counter: the progress text stays). The toolchain's own completion
//     lines, "Build complete! (…)" and "Build of product 'App' complete! (…)", show "Starting
//     server…" too, though they carry no brackets.
//  2. Dependencies: a line mentioning "Fetching", "Resolving", "Computing" or "Updating" moves
//     the status to building, sets isResolvingDependencies and shows "Fetching dependencies…"
//     (for "Fetching") or "Resolving dependencies…".
//  3. Readiness (QSServerReadiness::indicatesServerReady): status running, startedAt = now,
//     progress cleared.
// Checks 1 and 2 only apply while the build can still be under way: once the server runs (or is
// being stopped), its own log lines that happen to say "Updating" or "[1/2] Linking" leave the
// state alone.
void detectStateTransition(QSServerConsoleState& state, std::string_view line, QSTimestamp now);

}  // namespace qs

#include "core/runtime/console_transition.h"

#include "core/platform/regex.h"
#include "core/runtime/server_readiness.h"

namespace qs {
namespace {

bool contains(std::string_view line, std::string_view text) {
  return line.find(text) != std::string_view::npos;
}

// After the readiness line the console belongs to the server itself, which may log anything;
// a running server must not be shown as building because a request path says "Updating".
bool buildMayBeUnderWay(QSServerStatus status) {
  return status != QSServerStatus::running && status != QSServerStatus::stopping;
}

// What the toolchain prints when the build has finished: "Build complete! (3.94s)" from
// `swift build`, "Build of product 'App' complete! (0.89s)" from `swift run`. Neither carries
// brackets.
bool isCompletionLine(std::string_view line) {
  if (line.starts_with("Build complete!")) return true;
  return line.starts_with("Build of product '") && contains(line, "' complete!");
}

void applyBuildProgress(QSServerConsoleState& state, std::string_view line) {
  if (isCompletionLine(line)) {
    state.status = QSServerStatus::building;
    state.buildProgress = "Starting server…";
    return;
  }
  if (!contains(line, "[") || !contains(line, "]")) return;
  bool compiling = contains(line, "Compiling");
  bool linking = contains(line, "Linking");
  bool complete = contains(line, "Build complete");
  if (!compiling && !linking && !complete) return;

  state.status = QSServerStatus::building;
  if (complete) {
    state.buildProgress = "Starting server…";
    return;
  }
  static const QSRegex counter(R"(\[\d+/\d+\])");
  auto range = counter.firstMatchRange(line);
  if (!range) return;
  std::string_view prefix = compiling ? "Compiling " : linking ? "Linking " : "Building ";
  state.buildProgress = std::string(prefix) + std::string(line.substr(range->first, range->second));
}

void applyDependencyWork(QSServerConsoleState& state, std::string_view line) {
  if (!contains(line, "Fetching") && !contains(line, "Resolving") && !contains(line, "Computing") &&
      !contains(line, "Updating"))
    return;
  state.status = QSServerStatus::building;
  state.isResolvingDependencies = true;
  state.buildProgress = contains(line, "Fetching") ? "Fetching dependencies…" : "Resolving dependencies…";
}

}  // namespace

void detectStateTransition(QSServerConsoleState& state, std::string_view line, QSTimestamp now) {
  if (buildMayBeUnderWay(state.status)) {
    applyBuildProgress(state, line);
    applyDependencyWork(state, line);
  }
  if (QSServerReadiness::indicatesServerReady(line)) {
    state.status = QSServerStatus::running;
    state.startedAt = now;
    state.buildProgress.clear();
  }
}

}  // namespace qs

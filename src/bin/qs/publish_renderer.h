// How `qs publish` shows a publish as it happens: on a terminal, a status line with the phase
// and its running time under the finished phases and the build log; elsewhere, one line per
// phase and the log lines; with --json, one JSON object per line for scripts.
#pragma once

#include "app/publish/publish_phase.h"
#include "bin/qs/status_line.h"
#include "core/platform/timestamp.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

class QSPublishRenderer {
public:
  enum class Mode { plain, live, json };

  // Everything goes to `write` (standard output in the tool). In live mode the status line is
  // cut to `columns`, the terminal's width.
  QSPublishRenderer(Mode mode, std::function<void(std::string_view)> write, std::function<QSTimestamp()> clock,
                    std::size_t columns = 80);

  // The flow moved to `phase` (which began at `startedAt` when it is a working phase);
  // `failedDuring` is the working phase a failure happened in.
  void phaseChanged(const QSPublishPhase& phase, std::optional<QSTimestamp> startedAt,
                    std::optional<QSPublishPhase::Kind> failedDuring);
  void logLines(const std::vector<std::string>& lines);
  // Something the user should know before the flow goes on: "Note: " + text.
  void note(const std::string& text);
  // Redraws the status line with the running time (live mode; nothing otherwise).
  void tick();

  // "12s", "1m 05s".
  static std::string elapsedText(std::chrono::milliseconds elapsed);

private:
  void drawStatus();
  void finishPhase(std::string_view mark);

  Mode mode_;
  std::function<void(std::string_view)> write_;
  std::function<QSTimestamp()> clock_;
  std::optional<QSPublishPhase> current_;
  std::optional<QSTimestamp> startedAt_;
  QSStatusLine status_;
};

// What the user reads when publishing failed: "Publishing failed while uploading: " + message.
std::string publishFailureText(QSPublishPhase::Kind failedDuring, const std::string& message);

}  // namespace qs

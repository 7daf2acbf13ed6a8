#include "bin/qs/publish_renderer.h"

#include "bin/qs/json_output.h"
#include "bin/qs/output.h"
#include "bin/qs/terminal_text.h"

#include <fmt/format.h>

namespace qs {

using Kind = QSPublishPhase::Kind;

QSPublishRenderer::QSPublishRenderer(Mode mode, std::function<void(std::string_view)> write,
                                     std::function<QSTimestamp()> clock, std::size_t columns)
    : mode_(mode), write_(write), clock_(std::move(clock)), status_(write, columns) {}

std::string QSPublishRenderer::elapsedText(std::chrono::milliseconds elapsed) {
  auto seconds = std::max<long long>(0, std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
  if (seconds < 60) return fmt::format("{}s", seconds);
  return fmt::format("{}m {:02}s", seconds / 60, seconds % 60);
}

void QSPublishRenderer::drawStatus() {
  if (mode_ != Mode::live || !current_ || !current_->isActive() || !startedAt_) return;
  status_.show(fmt::format("\u2026 {} {}", current_->label(), elapsedText(clock_() - *startedAt_)));
}

void QSPublishRenderer::tick() {
  if (mode_ == Mode::live) drawStatus();
}

// Leaves the finished phase behind as a permanent line with its time (live mode).
void QSPublishRenderer::finishPhase(std::string_view mark) {
  if (mode_ != Mode::live || !current_ || !current_->isActive() || !startedAt_) return;
  status_.clear();
  write_(fmt::format("{} {} {}\n", mark, current_->label(), elapsedText(clock_() - *startedAt_)));
}

void QSPublishRenderer::phaseChanged(const QSPublishPhase& phase, std::optional<QSTimestamp> startedAt,
                                     std::optional<Kind> failedDuring) {
  if (mode_ == Mode::json) {
    output::PublishEvent event{.event = "phase", .phase = std::string(phase.name()), .label = phase.label()};
    event.detail = phase.detail();
    event.startedAt = startedAt;
    if (phase.kind == Kind::succeeded) event.url = phase.url;
    if (phase.kind == Kind::failed) {
      event.message = phase.message;
      if (failedDuring) event.failedDuring = std::string(phaseName(*failedDuring));
    }
    write_(jsonLine(event));
    return;
  }
  finishPhase(phase.kind == Kind::failed ? "\u2717" : "\u2713");
  current_ = phase;
  startedAt_ = startedAt;
  if (phase.isActive()) {
    if (mode_ == Mode::plain) write_(phase.label() + "\n");
    if (auto detail = phase.detail()) write_("  " + *detail + "\n");
    drawStatus();
  } else if (phase.kind == Kind::succeeded) {
    write_("Published: " + phase.url + "\n");
  }
}

void QSPublishRenderer::logLines(const std::vector<std::string>& lines) {
  if (mode_ == Mode::json) {
    for (const auto& line : lines) write_(jsonLine(output::PublishEvent{.event = "log", .line = line}));
    return;
  }
  status_.clear();
  std::string text;
  for (const auto& line : lines) text += "  | " + terminalSafeLine(line) + "\n";
  write_(text);
  drawStatus();
}

void QSPublishRenderer::note(const std::string& text) {
  if (mode_ == Mode::json) {
    write_(jsonLine(output::PublishEvent{.event = "note", .text = text}));
    return;
  }
  status_.clear();
  write_("Note: " + text + "\n");
  drawStatus();
}

std::string publishFailureText(Kind failedDuring, const std::string& message) {
  std::string step;
  switch (failedDuring) {
    case Kind::checkingAPI: step = "contacting Brindle Hosting"; break;
    case Kind::preparingSite: step = "preparing the site"; break;
    case Kind::provisioning: step = "provisioning the runtime"; break;
    case Kind::packaging: step = "packaging the project"; break;
    case Kind::uploading: step = "uploading"; break;
    case Kind::deploying: step = "building on Brindle Hosting"; break;
    default: return "Publishing failed: " + message;
  }
  return "Publishing failed while " + step + ": " + message;
}

}  // namespace qs

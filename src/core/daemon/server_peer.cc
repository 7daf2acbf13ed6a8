#include "core/daemon/server_peer.h"

#include "core/protocol/daemon_framing.h"

#include <cstring>
#include <string>

namespace qs {

std::optional<QSUUID> QSServerPeer::subscriptionFor(const QSEvent& event) const {
  if (event.is<evt::LogLine>() && subscriptions_.contains(QSEventKind::logBatches)) return std::nullopt;
  for (QSEventKind kind : {QSEventKind::all, event.kind()})
    if (auto found = subscriptions_.find(kind); found != subscriptions_.end() && matches(kind, event))
      return found->second;
  return std::nullopt;
}

std::optional<QSUUID> QSServerPeer::batchSubscription() const {
  auto found = subscriptions_.find(QSEventKind::logBatches);
  if (found == subscriptions_.end()) return std::nullopt;
  return found->second;
}

void QSServerPeer::holdLines(std::string_view sourceText, std::string_view lines, std::size_t count) {
  if (count == 0) return;
  if (held_.empty() || held_.back().sourceText != sourceText) {
    held_.push_back({std::string(sourceText), {}});
  } else {
    held_.back().lines += ',';
  }
  held_.back().lines.append(lines);
  heldBytes_ += lines.size() + 1;
}

std::vector<QSBytes> QSServerPeer::takeHeldFrames(std::size_t frameBytes) {
  std::vector<QSBytes> frames;
  auto subscription = batchSubscription();
  for (auto& run : held_) {
    if (!subscription) break;
    // Split between lines (a comma outside a string) once a frame's share is reached.
    std::string_view rest = run.lines;
    while (!rest.empty()) {
      std::size_t cut = rest.size();
      if (rest.size() > frameBytes) {
        bool inString = false;
        std::size_t lastComma = std::string_view::npos;
        for (std::size_t i = 0; i < rest.size(); ++i) {
          char c = rest[i];
          if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
          } else if (c == '"') {
            inString = true;
          } else if (c == ',') {
            if (i >= frameBytes) {
              cut = lastComma == std::string_view::npos ? i : lastComma;
              break;
            }
            lastComma = i;
          }
        }
      }
      frames.push_back(logBatchFrame(*subscription, run.sourceText, rest.substr(0, cut)));
      rest.remove_prefix(cut < rest.size() ? cut + 1 : cut);
    }
  }
  held_.clear();
  heldBytes_ = 0;
  return frames;
}

bool QSServerPeer::skipLogLine(const QSServiceRef& source, std::size_t count) {
  bool first = skippedLogLines_.empty();
  for (auto& [console, skipped] : skippedLogLines_) {
    if (console == source) {
      skipped += count;
      return first;
    }
  }
  skippedLogLines_.emplace_back(source, count);
  return first;
}

std::vector<evt::LogLine> QSServerPeer::takeSkippedLogMarkers() {
  std::vector<evt::LogLine> markers;
  for (auto& [console, count] : skippedLogLines_) {
    markers.push_back({console, "[" + std::to_string(count) + (count == 1 ? " line" : " lines") +
                                    " not shown: this client fell behind the output]"});
  }
  skippedLogLines_.clear();
  return markers;
}

QSBytes logBatchFrame(const QSUUID& subscription, std::string_view sourceText, std::string_view lines) {
  static constexpr std::string_view middle = R"(","result":{"event":{"_0":{"logBatch":{"_0":)";
  static constexpr std::string_view beforeLines = R"(,"lines":[)";
  static constexpr std::string_view end = "]}}}}}";
  std::string id = subscription.string();
  std::size_t length = 7 + id.size() + middle.size() + sourceText.size() + beforeLines.size() + lines.size() + end.size();
  QSBytes frame(QSDaemonFraming::headerByteCount + length);
  auto size = static_cast<std::uint32_t>(length);
  for (std::size_t i = 0; i < QSDaemonFraming::headerByteCount; ++i)
    frame[i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
  char* out = reinterpret_cast<char*>(frame.data() + QSDaemonFraming::headerByteCount);
  for (std::string_view part : {std::string_view(R"({"id":")"), std::string_view(id), middle, sourceText, beforeLines,
                                lines, end}) {
    std::memcpy(out, part.data(), part.size());
    out += part.size();
  }
  return frame;
}

}  // namespace qs

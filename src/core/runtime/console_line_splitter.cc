#include "core/runtime/console_line_splitter.h"

#include "core/platform/utf8.h"

namespace qs {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

void QSConsoleLineSplitter::appendDecoded(std::string_view bytes) {
  undecoded_.append(bytes);
  std::string_view rest = undecoded_;
  std::size_t consumed = 0;
  while (consumed < rest.size()) {
    std::size_t ascii = consumed;
    while (ascii < rest.size() && static_cast<unsigned char>(rest[ascii]) < 0x80) ++ascii;
    if (ascii > consumed) {
      pending_ += rest.substr(consumed, ascii - consumed);
      consumed = ascii;
      continue;
    }
    std::size_t length = utf8SequenceLength(rest, consumed);
    if (length > 0) {
      pending_ += rest.substr(consumed, length);
      consumed += length;
    } else if (isUTF8Prefix(rest.substr(consumed))) {
      break;  // a character split across reads: the rest comes with the next one
    } else {
      pending_ += kReplacement;
      ++consumed;
    }
  }
  undecoded_.erase(0, consumed);
}

void QSConsoleLineSplitter::completeLine(std::vector<std::string>& out) {
  if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
  if (!pending_.empty()) out.push_back(std::move(pending_));
  pending_.clear();
}

std::vector<std::string> QSConsoleLineSplitter::feed(std::string_view chunk) {
  std::vector<std::string> lines;
  while (!chunk.empty()) {
    auto lf = chunk.find('\n');
    std::string_view piece = chunk.substr(0, lf);
    if (!cut_) {
      appendDecoded(piece);
      if (pending_.size() > maxLineBytes) {
        // Cut at a character boundary at or below the limit.
        std::size_t at = maxLineBytes;
        while (at > 0 && (static_cast<unsigned char>(pending_[at]) & 0xC0) == 0x80) --at;
        pending_.resize(at);
        pending_ += cutMarker;
        lines.push_back(std::move(pending_));
        pending_.clear();
        undecoded_.clear();
        cut_ = true;
      }
    }
    if (lf == std::string_view::npos) break;
    if (cut_) {
      cut_ = false;
    } else {
      if (!undecoded_.empty()) {
        pending_ += kReplacement;  // a sequence the line feed interrupted
        undecoded_.clear();
      }
      completeLine(lines);
    }
    chunk.remove_prefix(lf + 1);
  }
  return lines;
}

std::vector<std::string> QSConsoleLineSplitter::finish() {
  if (!undecoded_.empty()) pending_ += kReplacement;
  undecoded_.clear();
  std::size_t first = 0, last = pending_.size();
  while (first < last && isSpace(pending_[first])) ++first;
  while (last > first && isSpace(pending_[last - 1])) --last;
  std::vector<std::string> out;
  if (!cut_ && last > first) out.push_back(pending_.substr(first, last - first));
  pending_.clear();
  cut_ = false;
  return out;
}

}  // namespace qs

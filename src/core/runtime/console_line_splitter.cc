#include "core/runtime/console_line_splitter.h"

namespace qs {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of a UTF-8 sequence from its first byte; 0 for a byte that cannot start one.
std::size_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool validSequence(std::string_view s) {
  auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  for (std::size_t i = 1; i < s.size(); ++i)
    if ((b(i) & 0xC0) != 0x80) return false;
  if (s.size() == 3) {
    if (b(0) == 0xE0 && b(1) < 0xA0) return false;  // overlong
    if (b(0) == 0xED && b(1) > 0x9F) return false;  // surrogates
  }
  if (s.size() == 4) {
    if (b(0) == 0xF0 && b(1) < 0x90) return false;
    if (b(0) == 0xF4 && b(1) > 0x8F) return false;
  }
  return true;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

void QSConsoleLineSplitter::appendDecoded(std::string_view bytes) {
  undecoded_.append(bytes);
  std::string_view rest = undecoded_;
  std::size_t consumed = 0;
  while (consumed < rest.size()) {
    auto lead = static_cast<unsigned char>(rest[consumed]);
    std::size_t length = sequenceLength(lead);
    if (length == 0) {
      pending_ += kReplacement;
      ++consumed;
      continue;
    }
    if (consumed + length > rest.size()) {
      // Possibly a character split across reads: keep it when what we have so far fits.
      if (validSequence(rest.substr(consumed))) break;
      pending_ += kReplacement;
      ++consumed;
      continue;
    }
    std::string_view sequence = rest.substr(consumed, length);
    if (validSequence(sequence)) {
      pending_ += sequence;
      consumed += length;
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

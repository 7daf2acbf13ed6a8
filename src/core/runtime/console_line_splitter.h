// Cuts a server's console output, arriving in arbitrary chunks, into lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

// Lines end at a line feed; one carriage return before it is dropped; empty lines are dropped.
// Text is decoded as UTF-8 across chunk boundaries (a character split between two reads is kept
// whole) and invalid bytes become U+FFFD, so no output is lost to an unlucky read boundary.
// A line longer than `maxLineBytes` is cut there and marked, so one runaway line cannot grow the
// console buffer, the events or a client without bound; the rest of it, up to the next line
// feed, is discarded.
class QSConsoleLineSplitter {
public:
  static constexpr std::size_t maxLineBytes = 64 * 1024;
  static constexpr std::string_view cutMarker = " [… line cut at 64 KiB]";

  // Feeds one chunk; returns the lines it completed, in order.
  std::vector<std::string> feed(std::string_view chunk);
  // At end of output: the pending text, trimmed of whitespace, when anything is left.
  std::vector<std::string> finish();

private:
  void appendDecoded(std::string_view bytes);
  void completeLine(std::vector<std::string>& out);

  std::string undecoded_;  // the start of a UTF-8 sequence still waiting for its other bytes
  std::string pending_;    // decoded text of the current line
  bool cut_ = false;       // the current line was already cut; skip until the next line feed
};

}  // namespace qs

// One line of status that keeps being replaced: the build's progress while `qs start --wait`
// waits, the running phase of `qs publish`, an engine download's progress.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qs {

// On a terminal (`columns` known) the line is rewritten in place and cut to the terminal's
// width, since a line that wraps can no longer be reached with "\r"; elsewhere each new text is
// written as a line of its own. A text equal to the one shown is not written again.
class QSStatusLine {
public:
  using Write = std::function<void(std::string_view)>;

  QSStatusLine(Write write, std::optional<std::size_t> columns);
  // The status line of the stream `out` (stdout or stderr): on a terminal when it is one.
  static QSStatusLine on(std::FILE* out);

  void show(const std::string& text);
  // Removes the line from a terminal (nothing to do elsewhere).
  void clear();
  // Leaves the line on a terminal as a finished line of its own.
  void keep();
  bool onTerminal() const { return columns_.has_value(); }

private:
  Write write_;
  std::optional<std::size_t> columns_;
  std::string shown_;
};

}  // namespace qs

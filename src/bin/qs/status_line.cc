#include "bin/qs/status_line.h"

#include "bin/qs/output.h"

#include "core/platform/terminal.h"

#include <utility>

namespace qs {

QSStatusLine::QSStatusLine(Write write, std::optional<std::size_t> columns)
    : write_(std::move(write)), columns_(columns) {}

QSStatusLine QSStatusLine::on(std::FILE* out) {
  int fd = ::fileno(out);
  std::optional<std::size_t> columns;
  // A terminal that reports no size is taken to be as wide as the classic one.
  if (isTerminal(fd)) columns = static_cast<std::size_t>(terminalColumns(fd).value_or(80));
  auto write = [out](std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
  };
  return QSStatusLine(write, columns);
}

void QSStatusLine::show(const std::string& text) {
  if (text.empty() || text == shown_) return;
  shown_ = text;
  if (!columns_) {
    write_(text + "\n");
    return;
  }
  // The last column stays free: a terminal that wraps there would move the cursor down.
  write_("\r\033[K" + truncateToWidth(text, *columns_ > 1 ? *columns_ - 1 : 0));
}

void QSStatusLine::clear() {
  if (columns_ && !shown_.empty()) write_("\r\033[K");
  shown_.clear();
}

void QSStatusLine::keep() {
  if (columns_ && !shown_.empty()) write_("\n");
  shown_.clear();
}

}  // namespace qs

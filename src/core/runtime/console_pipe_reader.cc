#include "core/runtime/console_pipe_reader.h"

#include "core/runtime/console_line_splitter.h"

#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>

namespace qs {

asio::awaitable<bool> readConsoleLines(asio::posix::stream_descriptor& pipe,
                                       std::function<bool(std::vector<std::string>)> take) {
  QSConsoleLineSplitter splitter;
  std::vector<char> buffer(16 * 1024);
  for (;;) {
    std::error_code ec;
    std::size_t n = co_await pipe.async_read_some(asio::buffer(buffer), asio::redirect_error(asio::use_awaitable, ec));
    auto lines = ec ? splitter.finish() : splitter.feed(std::string_view(buffer.data(), n));
    if (!take(std::move(lines))) co_return false;
    if (ec) co_return true;
  }
}

}  // namespace qs

// Relaying bytes from one TCP socket to another with splice(2) through a pipe: they move from
// one socket's buffers to the pipe's pages and on to the other socket inside the kernel, never
// copied through the process. Readiness comes from the loop (waits on the native sockets), so a
// relay suspends like any other read or write on the loop.
#pragma once

#include <asio/awaitable.hpp>
#include <asio/error_code.hpp>
#include <asio/ip/tcp.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace qs {

// A pipe pair's two ends, closed on destruction; `descriptors` counts the ends open.
class QSSplicePipe {
public:
  // Nothing when the pipe cannot be made (no descriptors left).
  static std::optional<QSSplicePipe> open(std::shared_ptr<std::size_t> descriptors);
  QSSplicePipe(QSSplicePipe&& other) noexcept;
  QSSplicePipe& operator=(QSSplicePipe&&) = delete;
  ~QSSplicePipe();

  int readEnd() const { return ends_[0]; }
  int writeEnd() const { return ends_[1]; }

private:
  QSSplicePipe() = default;
  int ends_[2] = {-1, -1};
  std::shared_ptr<std::size_t> descriptors_;
};

struct QSSpliceOutcome {
  std::uint64_t moved = 0;        // bytes delivered to the destination
  asio::error_code readError;     // asio::error::eof when the source ended
  asio::error_code writeError;
};

// Moves `limit` bytes from `from` to `to` (or, with UINT64_MAX, everything until `from` ends),
// fewer when either side fails or the source ends first; what is in the pipe when the source
// ends is delivered first. `progress` is told every count delivered. Closing either socket
// meanwhile ends the relay with an error. A broken connection to `to` never raises SIGPIPE.
asio::awaitable<QSSpliceOutcome> spliceRelay(asio::ip::tcp::socket& from, asio::ip::tcp::socket& to, QSSplicePipe& pipe,
                                             std::uint64_t limit, const std::function<void(std::uint64_t)>& progress);

}  // namespace qs

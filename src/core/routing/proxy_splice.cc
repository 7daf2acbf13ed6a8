#include "core/routing/proxy_splice.h"

#include "core/platform/sigpipe_guard.h"

#include <asio/experimental/as_tuple.hpp>
#include <asio/use_awaitable.hpp>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace qs {
namespace {

constexpr auto kTuple = asio::experimental::as_tuple(asio::use_awaitable);
constexpr unsigned kFlags = SPLICE_F_MOVE | SPLICE_F_NONBLOCK;
// The most asked of one splice into the pipe (the pipe takes what fits).
constexpr std::uint64_t kStep = 1 << 20;

asio::error_code lastError() { return asio::error_code(errno, asio::error::get_system_category()); }

bool brokenPipeIgnored() {
  struct sigaction current{};
  return ::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// A splice into a socket raises SIGPIPE on a broken connection (there is no MSG_NOSIGNAL for it):
// unless the process ignores the signal, the call is guarded against it.
ssize_t spliceToSocket(int pipe, int socket, std::size_t size, bool guard) {
  auto splice = [&] { return ::splice(pipe, nullptr, socket, nullptr, size, kFlags); };
  return guard ? withoutSigpipe(splice) : splice();
}

}  // namespace

std::optional<QSSplicePipe> QSSplicePipe::open(std::shared_ptr<std::size_t> descriptors) {
  QSSplicePipe pipe;
  if (::pipe2(pipe.ends_, O_CLOEXEC | O_NONBLOCK) != 0) return std::nullopt;
  pipe.descriptors_ = std::move(descriptors);
  if (pipe.descriptors_) *pipe.descriptors_ += 2;
  return pipe;
}

QSSplicePipe::QSSplicePipe(QSSplicePipe&& other) noexcept
    : ends_{std::exchange(other.ends_[0], -1), std::exchange(other.ends_[1], -1)},
      descriptors_(std::move(other.descriptors_)) {}

QSSplicePipe::~QSSplicePipe() {
  if (ends_[0] < 0) return;
  ::close(ends_[0]);
  ::close(ends_[1]);
  if (descriptors_) *descriptors_ -= 2;
}

// Fills the pipe from the source, then empties it into the destination, waiting on the loop
// whenever the source has nothing (and the pipe is empty) or the destination is full. The
// descriptors are taken from the sockets at every call, so that a socket closed meanwhile fails
// the next call instead of reaching a descriptor opened since under the same number.
asio::awaitable<QSSpliceOutcome> spliceRelay(asio::ip::tcp::socket& from, asio::ip::tcp::socket& to, QSSplicePipe& pipe,
                                             std::uint64_t limit, const std::function<void(std::uint64_t)>& progress) {
  QSSpliceOutcome outcome;
  // A splice waits for data or room unless the socket itself is non-blocking.
  from.native_non_blocking(true, outcome.readError);
  to.native_non_blocking(true, outcome.writeError);
  if (outcome.readError || outcome.writeError) co_return outcome;
  bool guard = !brokenPipeIgnored();
  std::uint64_t inPipe = 0;
  bool ended = false;
  for (;;) {
    std::uint64_t wanted = limit - outcome.moved - inPipe;
    if (!ended && wanted > 0) {
      ssize_t n = ::splice(from.native_handle(), nullptr, pipe.writeEnd(), nullptr, std::min(wanted, kStep), kFlags);
      if (n > 0) {
        inPipe += static_cast<std::uint64_t>(n);
      } else if (n == 0) {
        ended = true;
        outcome.readError = asio::error::eof;
      } else if (errno == EINTR) {
        continue;
      } else if (errno != EAGAIN) {
        outcome.readError = lastError();
        co_return outcome;
      } else if (inPipe == 0) {
        auto [ec] = co_await from.async_wait(asio::socket_base::wait_read, kTuple);
        if (ec) {
          outcome.readError = ec;
          co_return outcome;
        }
        continue;
      }
    }
    if (inPipe == 0) co_return outcome;  // everything asked moved, or the source ended
    ssize_t n = spliceToSocket(pipe.readEnd(), to.native_handle(), static_cast<std::size_t>(inPipe), guard);
    if (n > 0) {
      inPipe -= static_cast<std::uint64_t>(n);
      outcome.moved += static_cast<std::uint64_t>(n);
      progress(static_cast<std::uint64_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      auto [ec] = co_await to.async_wait(asio::socket_base::wait_write, kTuple);
      if (ec) {
        outcome.writeError = ec;
        co_return outcome;
      }
    } else if (n < 0 && errno != EINTR) {
      outcome.writeError = lastError();
      co_return outcome;
    } else if (n == 0) {
      outcome.writeError = asio::error::broken_pipe;
      co_return outcome;
    }
  }
}

}  // namespace qs

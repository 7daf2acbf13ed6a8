// Waiting for a network listener (DNS, proxy, SMTP) to come up: ready, failed or timed out,
// whichever happens first, with the caller resumed exactly once.
#pragma once

#include "core/models/case_coding.h"
#include "core/platform/error_exception.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>

#include <chrono>
#include <exception>
#include <functional>
#include <mutex>
#include <string>

namespace qs {

// Lets exactly one of several contenders act: the first claim() returns true, every later one
// false. Thread-safe.
class QSResumeOnce {
public:
  bool claim();

private:
  std::mutex lock_;
  bool claimed_ = false;
};

// A listener did not come up in time.
// Cases of QSListenerError.
namespace listenerError {
using StartTimedOut = QSEmptyCase<"startTimedOut">;
}  // namespace listenerError

struct QSListenerError : QSEnumeration<listenerError::StartTimedOut> {
  using QSEnumeration::QSEnumeration;
  // "The listener did not become ready in time."
  std::string message() const;
};
using QSListenerException = QSErrorException<QSListenerError>;

// The time every listener gets to come up.
inline constexpr std::chrono::seconds QSListenerStartTimeout{5};

// Called by a listener's start operation with nullptr once it is ready, or with the failure.
// Calls after the first (and any call after the wait gave up) do nothing; it may be called from
// any thread.
using QSListenerReport = std::function<void(std::exception_ptr)>;
// Starts a listener and later reports its state. May report before it returns; an exception
// thrown by it counts as a failure.
using QSListenerStart = std::function<void(QSListenerReport)>;

// Runs `start` on the current executor and completes when it reports ready, rethrows the failure
// it reports, or throws QSListenerError(startTimedOut) once `timeout` has passed — whichever
// comes first. A timeout does not stop the listener: the caller decides what to do with it.
asio::awaitable<void> awaitListenerReady(QSListenerStart start,
                                         std::chrono::steady_clock::duration timeout = QSListenerStartTimeout);

// A start operation for a TCP listener: opens `acceptor`, allows local address reuse, binds it to
// `endpoint` and listens. Ready once listening; bind and listen errors (port in use, no permission)
// are reported as asio::system_error.
QSListenerStart listenOn(asio::ip::tcp::acceptor& acceptor, asio::ip::tcp::endpoint endpoint);

}  // namespace qs

// What the proxy reads of a connection's first bytes: enough of the request head to find Host.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qs::QSProxyRequestHead {

// How much of a connection is examined for routing.
inline constexpr std::size_t routingLimit = 8192;

// The Host header's name of the request head in `chunk`: the first header line (after the
// request line, before the blank line ending the head) whose lower-cased form starts with
// "host:", trimmed, without its port (from the last ":"). Nothing when there is no such line.
// Invalid UTF-8 is repaired first; the name keeps its letter case.
std::optional<std::string> extractHost(std::string_view chunk);

// Whether routing can decide from `received`: the head is complete, a Host line is complete, or
// the routing limit is reached.
bool hasEnoughToRoute(std::string_view received);

}  // namespace qs::QSProxyRequestHead

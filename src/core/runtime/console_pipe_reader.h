// Reading a console pipe (a server's or a build's output) on the service loop as lines.
#pragma once

#include <asio/awaitable.hpp>
#include <asio/posix/stream_descriptor.hpp>

#include <functional>
#include <string>
#include <vector>

namespace qs {

// Reads `pipe` to its end (or a read error), cut into lines as QSConsoleLineSplitter cuts them:
// `take` gets the lines each read completed and, at the end, the unfinished last line. When `take`
// returns false (its reader is gone) reading stops at once and this returns false; otherwise true
// once the pipe has been read to its end.
//
// Reads are modest (16 KiB): a process that floods its console hands the loop back after a few
// hundred lines, so their events reach the sockets between reads instead of piling up.
asio::awaitable<bool> readConsoleLines(asio::posix::stream_descriptor& pipe,
                                       std::function<bool(std::vector<std::string>)> take);

}  // namespace qs

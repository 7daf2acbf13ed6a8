// Processes and listening TCP sockets as Linux's /proc shows them. Every function reads /proc
// synchronously (a full scan costs a few milliseconds); a process that vanishes or cannot be
// read during a scan is left out rather than reported as an error.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

// The socket inodes of the LISTEN entries for local port `port` in one /proc/net/tcp or
// /proc/net/tcp6 table (state 0A, local address "ADDRESS:PORT" with the port in hexadecimal).
// Malformed lines are skipped.
std::vector<std::uint64_t> parseListeningSocketInodes(std::string_view table, int port);

// The inodes of every IPv4 and IPv6 TCP socket of this network namespace listening on `port`.
std::set<std::uint64_t> listeningTCPSocketInodes(int port);

// The socket inodes of the ESTABLISHED entries (state 01) from local port `localPort` to remote
// port `remotePort` in one /proc/net/tcp or /proc/net/tcp6 table. Malformed lines are skipped.
std::vector<std::uint64_t> parseConnectedSocketInodes(std::string_view table, int localPort, int remotePort);

// The inodes of every IPv4 and IPv6 TCP connection of this network namespace from local port
// `localPort` to remote port `remotePort` (both ends of a loopback connection appear, each
// with its own local port).
std::set<std::uint64_t> connectedTCPSocketInodes(int localPort, int remotePort);

// The ids of the processes holding any of `inodes` open (found through the "socket:[INODE]"
// links in /proc/PID/fd), ascending. Processes whose descriptors cannot be read are skipped.
std::vector<std::int32_t> processesHoldingSockets(const std::set<std::uint64_t>& inodes);

struct QSProcessIdentity {
  std::string name;           // /proc/PID/comm, or the executable's file name (see processIdentity)
  std::uint32_t realUID = 0;  // the real user id from /proc/PID/status
};

// The name and real user of a process; nothing when it has gone or its status cannot be read.
// The name is /proc/PID/comm; when that is missing, or is 15 characters long (the kernel's
// truncation) and the executable's file name starts with it, the executable's file name.
std::optional<QSProcessIdentity> processIdentity(std::int32_t pid);

// The folder a process runs in (the target of /proc/PID/cwd); nothing when it has gone or
// belongs to another user.
std::optional<std::string> processWorkingDirectory(std::int32_t pid);

// The process group of a process (field 5 of /proc/PID/stat); nothing when it has gone.
std::optional<std::int32_t> processGroupID(std::int32_t pid);

// The parent of a process (field 4 of /proc/PID/stat); nothing when it has gone.
std::optional<std::int32_t> parentProcessID(std::int32_t pid);

// Whether the process has ended: gone, or a zombie that its parent has not reaped yet (either
// way it holds no socket or file any more).
bool processHasEnded(std::int32_t pid);

// The id of this process, of its process group, and its real user.
std::int32_t currentProcessID();
std::int32_t currentProcessGroupID();
std::uint32_t currentUserID();

}  // namespace qs

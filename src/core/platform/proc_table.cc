#include "core/platform/proc_table.h"

#include "core/platform/files.h"
#include "core/platform/unique_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>

namespace qs {
namespace {

// The kernel keeps at most this many characters of a process name in /proc/PID/comm.
constexpr std::size_t kCommLength = 15;

std::vector<std::string_view> fields(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

template <typename Number>
std::optional<Number> parseNumber(std::string_view text, int base = 10) {
  Number value{};
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// Lines of the form "sl local rem st tx:rx tr:when retrnsmt uid timeout inode ...".
std::optional<std::uint64_t> listeningInode(std::string_view line, int port) {
  auto parts = fields(line);
  if (parts.size() < 10 || parts[3] != "0A") return std::nullopt;
  auto colon = parts[1].rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  auto localPort = parseNumber<unsigned>(parts[1].substr(colon + 1), 16);
  if (!localPort || static_cast<int>(*localPort) != port) return std::nullopt;
  return parseNumber<std::uint64_t>(parts[9]);
}

std::optional<unsigned> portOf(std::string_view address) {
  auto colon = address.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  return parseNumber<unsigned>(address.substr(colon + 1), 16);
}

std::optional<std::uint64_t> connectedInode(std::string_view line, int localPort, int remotePort) {
  auto parts = fields(line);
  if (parts.size() < 10 || parts[3] != "01") return std::nullopt;
  auto local = portOf(parts[1]);
  auto remote = portOf(parts[2]);
  if (!local || !remote || static_cast<int>(*local) != localPort || static_cast<int>(*remote) != remotePort)
    return std::nullopt;
  return parseNumber<std::uint64_t>(parts[9]);
}

// Calls `take` with every line of `table`.
template <class F>
void forEachTableLine(std::string_view table, F&& take) {
  for (std::size_t start = 0; start < table.size();) {
    std::size_t end = table.find('\n', start);
    take(table.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

std::vector<std::int32_t> allProcessIDs() {
  std::vector<std::int32_t> pids;
  DIR* dir = ::opendir("/proc");
  if (!dir) return pids;
  while (dirent* entry = ::readdir(dir)) {
    if (auto pid = parseNumber<std::int32_t>(entry->d_name)) pids.push_back(*pid);
  }
  ::closedir(dir);
  return pids;
}

std::optional<std::string> readLink(int folder, const char* name) {
  char buffer[PATH_MAX];
  ssize_t n = ::readlinkat(folder, name, buffer, sizeof buffer);
  if (n < 0) return std::nullopt;
  return std::string(buffer, static_cast<std::size_t>(n));
}

bool holdsAny(std::int32_t pid, const std::set<std::uint64_t>& inodes) {
  std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) return false;  // gone, or another user's process
  DIR* dir = ::fdopendir(fd.get());
  if (!dir) return false;
  fd.release();  // the DIR owns it now
  bool found = false;
  while (dirent* entry = ::readdir(dir)) {
    auto target = readLink(::dirfd(dir), entry->d_name);
    std::string_view link = target ? std::string_view(*target) : std::string_view{};
    if (!link.starts_with("socket:[") || !link.ends_with("]")) continue;
    auto inode = parseNumber<std::uint64_t>(link.substr(8, link.size() - 9));
    if (inode && inodes.count(*inode)) {
      found = true;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

std::optional<std::uint32_t> realUID(std::string_view status) {
  for (std::size_t start = 0; start < status.size();) {
    std::size_t end = status.find('\n', start);
    std::string_view line = status.substr(start, end == std::string_view::npos ? end : end - start);
    if (line.starts_with("Uid:")) {
      auto parts = fields(line.substr(4));
      return parts.empty() ? std::nullopt : parseNumber<std::uint32_t>(parts[0]);
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return std::nullopt;
}

// The file name of /proc/PID/exe; a binary replaced by a rebuild reads "NAME (deleted)".
std::string executableName(const std::string& processFolder) {
  auto target = readLink(AT_FDCWD, (processFolder + "/exe").c_str());
  if (!target) return {};
  std::string_view path = *target;
  constexpr std::string_view deleted = " (deleted)";
  if (path.ends_with(deleted)) path.remove_suffix(deleted.size());
  auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

std::vector<std::uint64_t> parseListeningSocketInodes(std::string_view table, int port) {
  std::vector<std::uint64_t> inodes;
  for (std::size_t start = 0; start < table.size();) {
    std::size_t end = table.find('\n', start);
    std::string_view line = table.substr(start, end == std::string_view::npos ? end : end - start);
    if (auto inode = listeningInode(line, port)) inodes.push_back(*inode);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return inodes;
}

std::set<std::uint64_t> listeningTCPSocketInodes(int port) {
  std::set<std::uint64_t> inodes;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    auto text = readFileIfPresent(table);
    if (!text) continue;
    for (auto inode : parseListeningSocketInodes(*text, port)) {
      // Inode 0 marks a socket that is being torn down; it matches nothing useful.
      if (inode != 0) inodes.insert(inode);
    }
  }
  return inodes;
}

std::vector<std::uint64_t> parseConnectedSocketInodes(std::string_view table, int localPort, int remotePort) {
  std::vector<std::uint64_t> inodes;
  forEachTableLine(table, [&](std::string_view line) {
    if (auto inode = connectedInode(line, localPort, remotePort)) inodes.push_back(*inode);
  });
  return inodes;
}

std::set<std::uint64_t> connectedTCPSocketInodes(int localPort, int remotePort) {
  std::set<std::uint64_t> inodes;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    auto text = readFileIfPresent(table);
    if (!text) continue;
    for (auto inode : parseConnectedSocketInodes(*text, localPort, remotePort))
      if (inode != 0) inodes.insert(inode);
  }
  return inodes;
}

std::vector<std::int32_t> processesHoldingSockets(const std::set<std::uint64_t>& inodes) {
  std::vector<std::int32_t> pids;
  if (inodes.empty()) return pids;
  for (auto pid : allProcessIDs()) {
    if (holdsAny(pid, inodes)) pids.push_back(pid);
  }
  std::sort(pids.begin(), pids.end());
  return pids;
}

std::optional<QSProcessIdentity> processIdentity(std::int32_t pid) {
  std::string folder = "/proc/" + std::to_string(pid);
  auto status = readFileIfPresent(folder + "/status");
  auto uid = status ? realUID(*status) : std::nullopt;
  if (!uid) return std::nullopt;
  std::string name = readFileIfPresent(folder + "/comm").value_or("");
  if (!name.empty() && name.back() == '\n') name.pop_back();
  if (name.empty() || name.size() == kCommLength) {
    std::string full = executableName(folder);
    if (!full.empty() && full.starts_with(name)) name = full;
  }
  if (name.empty()) return std::nullopt;
  return QSProcessIdentity{name, *uid};
}

std::optional<std::string> processWorkingDirectory(std::int32_t pid) {
  std::string link = "/proc/" + std::to_string(pid) + "/cwd";
  char target[PATH_MAX];
  ssize_t n = ::readlink(link.c_str(), target, sizeof target);
  if (n <= 0 || static_cast<std::size_t>(n) == sizeof target) return std::nullopt;
  return std::string(target, static_cast<std::size_t>(n));
}

std::optional<std::int32_t> processGroupID(std::int32_t pid) {
  auto stat = readFileIfPresent("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return std::nullopt;
  // "PID (COMM) STATE PPID PGRP ...": the name may hold spaces and parentheses, so the fields
  // are counted from the last ')'.
  auto close = stat->rfind(')');
  if (close == std::string::npos) return std::nullopt;
  auto rest = fields(std::string_view(*stat).substr(close + 1));
  if (rest.size() < 3) return std::nullopt;
  return parseNumber<std::int32_t>(rest[2]);
}

std::optional<std::int32_t> parentProcessID(std::int32_t pid) {
  auto stat = readFileIfPresent("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return std::nullopt;
  auto close = stat->rfind(')');
  if (close == std::string::npos) return std::nullopt;
  auto rest = fields(std::string_view(*stat).substr(close + 1));
  if (rest.size() < 2) return std::nullopt;
  return parseNumber<std::int32_t>(rest[1]);
}

bool processHasEnded(std::int32_t pid) {
  auto stat = readFileIfPresent("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return true;
  auto close = stat->rfind(')');
  if (close == std::string::npos) return true;
  auto rest = fields(std::string_view(*stat).substr(close + 1));
  return rest.empty() || rest[0] == "Z" || rest[0] == "X";
}

std::int32_t currentProcessID() { return static_cast<std::int32_t>(::getpid()); }

std::int32_t currentProcessGroupID() { return static_cast<std::int32_t>(::getpgrp()); }

std::uint32_t currentUserID() { return static_cast<std::uint32_t>(::getuid()); }

}  // namespace qs

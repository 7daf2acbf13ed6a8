// Whether a local TCP port can be bound, and a process found listening on a port.
#pragma once

#include <cstdint>
#include <string>

namespace qs {

// The answer for one TCP port: free, taken, forbidden, or another bind failure with its errno.
struct QSPortAvailability {
  enum class Kind { available, inUse, permissionDenied, error };
  Kind kind = Kind::available;
  std::int32_t code = 0;  // the errno, for `error` only

  static QSPortAvailability available() { return {Kind::available, 0}; }
  static QSPortAvailability inUse() { return {Kind::inUse, 0}; }
  static QSPortAvailability permissionDenied() { return {Kind::permissionDenied, 0}; }
  static QSPortAvailability error(int code) { return {Kind::error, static_cast<std::int32_t>(code)}; }

  bool operator==(const QSPortAvailability&) const = default;
};

// A process that listens on a TCP port.
struct ListeningProcess {
  std::int32_t pid = 0;
  std::string name;     // the executable's name
  bool isRoot = false;  // runs as the user root
  bool operator==(const ListeningProcess&) const = default;
};

}  // namespace qs

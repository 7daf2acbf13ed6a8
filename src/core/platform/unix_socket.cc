#include "core/platform/unix_socket.h"

#include "core/platform/system_error.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qs {
namespace {

sockaddr_un unixAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // The terminating NUL must fit too.
  if (path.empty() || path.size() >= sizeof address.sun_path) throwSystemError("bind " + path, ENAMETOOLONG);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

}  // namespace

bool isListenedOn(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.native().size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.native().size() + 1);
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) return false;
  int result;
  do {
    result = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  // EAGAIN: the listener's backlog is full, which a stopped or busy daemon's can be.
  return result == 0 || errno == EAGAIN;
}

UniqueFd listenOnUnixSocket(const std::filesystem::path& path, mode_t mode, int backlog) {
  sockaddr_un address = unixAddress(path.string());
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) throwSystemError("socket " + path.string());
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    throwSystemError("bind " + path.string());
  // fchmod on a socket descriptor changes the socket inode, not the file in the folder: the
  // mode has to be set through the path.
  const char* failedCall = nullptr;
  if (::chmod(path.c_str(), mode) != 0)
    failedCall = "chmod ";
  else if (::listen(fd.get(), backlog) != 0)
    failedCall = "listen ";
  if (failedCall) {
    int error = errno;
    ::unlink(path.c_str());
    throwSystemError(failedCall + path.string(), error);
  }
  return fd;
}

}  // namespace qs

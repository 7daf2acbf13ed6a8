// Owner of one file descriptor: closes it when dropped.
#pragma once

#include <utility>

namespace qs {

class UniqueFd {
public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Gives up ownership without closing.
  int release() { return std::exchange(fd_, -1); }
  // Closes the current descriptor (if any) and takes `fd`.
  void reset(int fd = -1);

private:
  int fd_ = -1;
};

// Both ends of a new pipe, close-on-exec. Throws QSSystemError ("pipe2: …").
struct QSPipe {
  UniqueFd read, write;
};
QSPipe makePipe();

}  // namespace qs

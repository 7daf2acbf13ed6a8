// The lock that makes one process at a time the owner of the managed services.
#pragma once

#include "core/platform/unique_fd.h"

#include <filesystem>

namespace qs {

// An exclusive advisory lock on a file. Whoever holds it (the daemon, or the application in
// in-process mode) runs the services; it lasts while the holder keeps the file open, so a
// crashed holder releases it. Two QSOwnerLock objects on one path conflict even within one
// process. Dropping a held lock releases it.
class QSOwnerLock {
public:
  explicit QSOwnerLock(std::filesystem::path path);
  QSOwnerLock(QSOwnerLock&&) = default;
  QSOwnerLock& operator=(QSOwnerLock&&) = default;

  // <data folder>/owner.lock
  static std::filesystem::path defaultPath();

  // Takes the lock without waiting: true when this object now holds it (also when it already
  // did), false when someone else holds it or the file cannot be opened. Creates missing
  // folders on the way (mode 0700). The file's content is never written.
  bool tryAcquire();
  // Gives the lock up; nothing happens when it is not held.
  void release();
  bool isHeld() const { return static_cast<bool>(descriptor_); }

  const std::filesystem::path& path() const { return path_; }

private:
  std::filesystem::path path_;
  UniqueFd descriptor_;
};

}  // namespace qs

#include "core/daemon/owner_lock.h"

#include "core/platform/file_lock.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/system_error.h"

namespace qs {

QSOwnerLock::QSOwnerLock(std::filesystem::path path) : path_(std::move(path)) {}

std::filesystem::path QSOwnerLock::defaultPath() { return QSPaths::dataFolderPath() / "owner.lock"; }

bool QSOwnerLock::tryAcquire() {
  if (isHeld()) return true;
  try {
    // 0700: the usual parent is the data folder, which holds the control socket.
    createDirectories(path_.parent_path(), 0700);
  } catch (const QSSystemError&) {
    // The open below fails and reports it.
  }
  UniqueFd fd = openLockFile(path_);
  if (!tryLockExclusive(fd)) return false;
  descriptor_ = std::move(fd);
  return true;
}

void QSOwnerLock::release() {
  if (!isHeld()) return;
  unlockFile(descriptor_);
  descriptor_.reset();
}

}  // namespace qs

#include "core/platform/spawn.h"

#include "core/platform/system_error.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace qs {
namespace {

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

QSPreparedSpawn::QSPreparedSpawn(QSSpawnPlan plan) : plan_(std::move(plan)) {
  argv_ = pointers(plan_.arguments);
  envp_ = pointers(plan_.environment);
  posix_spawn_file_actions_init(&actions_);
  posix_spawn_file_actions_adddup2(&actions_, plan_.input, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions_, plan_.output, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions_, plan_.error, STDERR_FILENO);
  if (plan_.workingDirectory) posix_spawn_file_actions_addchdir_np(&actions_, plan_.workingDirectory->c_str());
  // Descriptors opened without O_CLOEXEC (by a library, say) must not leak into a child.
  posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);

  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (plan_.newProcessGroup) flags |= POSIX_SPAWN_SETPGROUP;
  if (plan_.newSession) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_init(&attributes_);
  posix_spawnattr_setflags(&attributes_, flags);
  posix_spawnattr_setpgroup(&attributes_, 0);
  posix_spawnattr_setsigdefault(&attributes_, &all);
  posix_spawnattr_setsigmask(&attributes_, &none);
}

QSPreparedSpawn::~QSPreparedSpawn() {
  posix_spawn_file_actions_destroy(&actions_);
  posix_spawnattr_destroy(&attributes_);
}

int QSPreparedSpawn::start(pid_t& pid) const noexcept {
  return ::posix_spawn(&pid, plan_.program.c_str(), &actions_, &attributes_, argv_.data(), envp_.data());
}

pid_t QSPreparedSpawn::startOrThrow() const {
  pid_t pid = -1;
  if (int error = start(pid); error != 0) throwSystemError("spawn " + plan_.program.string(), error);
  return pid;
}

}  // namespace qs

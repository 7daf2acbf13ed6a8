#include "core/platform/resource_limits.h"

#include "core/platform/system_error.h"

#include <sys/resource.h>

namespace qs {

std::uint64_t raiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) throwSystemError("getrlimit RLIMIT_NOFILE");
  if (limit.rlim_cur == limit.rlim_max) return limit.rlim_cur;
  rlimit raised = limit;
  raised.rlim_cur = limit.rlim_max;
  // An unlimited hard limit is refused for descriptors (the kernel caps them at fs.nr_open):
  // the soft limit then stays where it was.
  if (::setrlimit(RLIMIT_NOFILE, &raised) != 0) return limit.rlim_cur;
  return raised.rlim_cur;
}

std::uint64_t openFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return UINT32_MAX;
  return limit.rlim_cur;
}

}  // namespace qs

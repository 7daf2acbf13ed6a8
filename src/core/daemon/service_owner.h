// Who owns the services when the control socket is served by the desktop app rather than the
// daemon: the app then runs the engine in its own process and stops it when it quits.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qs::QSServiceOwner {

// The desktop app's program name, as the kernel lists it for the process.
constexpr std::string_view desktopAppProgram = "quayside-app";

// The desktop app's process when it holds the owner lock at `lockPath`; nothing when the lock is
// free or another program (the daemon) holds it.
std::optional<pid_t> desktopApp(const std::filesystem::path& lockPath);

// "The Quayside desktop app (pid N) owns the services; they stop when it quits."
std::string ownedByAppLine(pid_t pid);

}  // namespace qs::QSServiceOwner

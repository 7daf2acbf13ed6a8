// What a project folder says about itself: whether it is a Vapor package, its names, its port and
// its environment. Reads Package.swift and .env; a missing or unreadable file gives the fallback
// that each operation names, never an error.
#pragma once

#include "core/models/environment_variable.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qs {

// Stateless.
class QSProjectDetector {
public:
  // True when Package.swift mentions "vapor" in any letter case (a comment counts); false when
  // there is no readable Package.swift.
  bool isVaporProject(const std::filesystem::path& folder) const;

  // The first `name: "…"` in Package.swift: the package's own name, which a manifest gives first.
  std::optional<std::string> projectName(const std::filesystem::path& folder) const;

  // The target `swift run` runs as the server: among the `.executableTarget`s of Package.swift
  // (else the `.target`s whose source folder, `path:` or Sources/NAME, holds main.swift, as in
  // older templates), the first that depends on a target named "App" or on the Vapor product,
  // else the first of them. Nothing when the manifest declares no program.
  std::optional<std::string> executableTargetName(const std::filesystem::path& folder) const;

  // The port of the first .env line that starts with `PORT=` followed by digits; 8080 when there
  // is none, the digits do not fit an int, or there is no readable .env. `PORT = 9000`,
  // `export PORT=9000` and `PORT="9000"` are not recognised.
  int detectPort(const std::filesystem::path& folder) const;

  // The variables of the folder's .env; empty when it cannot be read.
  std::vector<QSEnvironmentVariable> environmentVariables(const std::filesystem::path& folder) const;
};

}  // namespace qs

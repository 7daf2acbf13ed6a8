// Opening a project in the user's preferred editor (the setting qs.preferredEditor).
#pragma once

#include "app/shell/editor_app.h"
#include "app/shell/launch_result.h"

#include <filesystem>

namespace qs {

class QSSettings;

class QSEditorLauncher {
public:
  explicit QSEditorLauncher(const QSSettings& settings) : settings_(settings) {}

  // The setting when it names an editor (installed or not); otherwise the maker's editor when
  // it is installed, else the system default.
  QSEditorApp preferred() const;

  // The system default opens the project's Package.swift (the folder when there is none) with
  // xdg-open; any other editor opens the folder. An editor that is not installed falls back to
  // the system default, and the result's notice says so. Throws QSLaunchError when the folder is
  // missing or nothing can open it.
  QSLaunchResult open(const std::filesystem::path& projectFolder) const;

private:
  const QSSettings& settings_;
};

}  // namespace qs

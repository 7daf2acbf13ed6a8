// Where the system-wide pieces of .test routing live: every fixed system path hangs off one root
// folder, and every system tool is found through one search path, so that the install and
// uninstall scripts can run against a scratch root with stand-in tools.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

class QSSystemRoot {
public:
  // The folders searched for system tools when QS_SYSTEM_TOOL_PATH is not set.
  static constexpr std::string_view defaultToolPath = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

  // Root `/` and the default tool path.
  QSSystemRoot();
  // `root` must be an absolute folder path; `toolPath` is searched in order.
  QSSystemRoot(std::filesystem::path root, std::vector<std::filesystem::path> toolPath);

  // $QS_SYSTEM_ROOT (default `/`) and $QS_SYSTEM_TOOL_PATH (colon-separated, default above).
  static QSSystemRoot fromEnvironment();

  const std::filesystem::path& root() const { return root_; }
  const std::vector<std::filesystem::path>& toolPath() const { return toolPath_; }

  // The system path `absolute` (for example "/etc/quayside/redirect.nft") below the root.
  std::filesystem::path path(std::string_view absolute) const;

  // The first executable file called `name` in the tool path; nothing when there is none.
  std::optional<std::filesystem::path> tool(std::string_view name) const;

  // Whether systemd manages this root (its runtime folder /run/systemd/system exists).
  bool isSystemdRunning() const;

private:
  std::filesystem::path root_;
  std::vector<std::filesystem::path> toolPath_;
};

}  // namespace qs

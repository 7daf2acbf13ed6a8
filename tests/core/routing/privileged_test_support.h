// Stand-ins for what a test machine cannot let us touch: system tools that record how they were
// called (and keep just enough state to answer like the real ones), a scratch system root, and a
// runner that runs the real scripts as the current user.
#pragma once

#include "core/platform/process_runner.h"
#include "core/routing/privileged_error.h"
#include "core/routing/privileged_runner.h"
#include "core/routing/shell_quoting.h"
#include "core/routing/system_root.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace qs::testing {

namespace fs = std::filesystem;

// Runs each script with /bin/bash as whoever runs the tests (the scratch root is theirs),
// keeping every script it ran, failing like the real runner.
class RecordingRunner : public QSPrivilegedRunner {
public:
  std::string run(std::string_view script, std::string_view) override {
    scripts.emplace_back(script);
    QSProcessOptions options;
    options.input = std::string(script);
    auto result = runProcess({"/bin/bash", "-s"}, options);
    if (!result.succeeded())
      throw QSPrivilegedException(privilegedError::ScriptFailed{result.exitStatus, result.errorOutput});
    return result.output;
  }
  std::vector<std::string> scripts;
};

// A runner whose prompt is always refused (cancelled) or impossible (no session).
class RefusingRunner : public QSPrivilegedRunner {
public:
  explicit RefusingRunner(bool cancelled) : cancelled_(cancelled) {}
  std::string run(std::string_view, std::string_view refusal) override {
    if (cancelled_) throw QSPrivilegedException(privilegedError::Cancelled{});
    throw QSPrivilegedException(privilegedError::RequiresInteractiveSession{std::string(refusal)});
  }

private:
  bool cancelled_;
};

// A scratch system root with stand-in tools in `tools/` that record their arguments: systemctl
// (`is-active` succeeds for the units in `active-units`), nft (one table: `-f` loads it, `delete`
// removes it or fails, `list` succeeds while loaded, `-c` fails while `nft-rejects` exists),
// update-ca-certificates (rebuilds the bundle from the anchors) and dnsmasq.
class StandInSystem {
public:
  explicit StandInSystem(const std::string& rootName = "root") : root(folder / rootName), tools(folder / "tools") {
    fs::create_directories(root);
    fs::create_directories(tools);
    auto q = [](const fs::path& p) { return shellQuoted(p.string()); };
    writeTool("systemctl", "echo \"$*\" >> " + q(log("systemctl")) +
                               "\nif [ \"$1\" = is-active ]; then grep -qxF \"${@: -1}\" " + q(folder / "active-units") +
                               " 2>/dev/null; exit $?; fi\nexit 0\n");
    auto state = q(folder / "nft-table-loaded");
    writeTool("nft", "echo \"$*\" >> " + q(log("nft")) + "\ncase \"$1\" in\n  -c) [ ! -f " + q(folder / "nft-rejects") +
                         " ] || { echo 'Error: syntax error' >&2; exit 1; } ;;\n  -f) touch " + state +
                         " ;;\n  list) [ -f " + state + " ] ;;\n  delete) [ -f " + state + " ] && rm -f " + state +
                         " ;;\nesac\n");
    auto anchors = root / "usr/local/share/ca-certificates";
    auto bundle = root / "etc/ssl/certs/ca-certificates.crt";
    writeTool("update-ca-certificates", "echo \"$*\" >> " + q(log("update-ca-certificates")) + "\nmkdir -p " +
                                            q(bundle.parent_path()) + "\ncat " + q(anchors) + "/*.crt > " + q(bundle) +
                                            " 2>/dev/null || : > " + q(bundle) + "\n");
    writeTool("dnsmasq", "exit 0\n");
  }

  // The root with only the stand-ins (plus, when asked, the folders listed) on the tool path.
  QSSystemRoot system(std::vector<fs::path> more = {}) const {
    std::vector<fs::path> path{tools};
    path.insert(path.end(), more.begin(), more.end());
    return QSSystemRoot(root, path);
  }
  fs::path log(const std::string& tool) const { return folder / (tool + ".log"); }
  // The recorded calls of `tool`, one line each.
  std::vector<std::string> calls(const std::string& tool) const {
    std::vector<std::string> lines;
    std::istringstream in(fs::exists(log(tool)) ? readTextFile(log(tool)) : "");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  void setActiveUnits(const std::string& lines) const { writeTextFile(folder / "active-units", lines); }
  void markSystemdRunning() const { fs::create_directories(root / "run/systemd/system"); }
  bool tableLoaded() const { return fs::exists(folder / "nft-table-loaded"); }
  void flushTable() const { fs::remove(folder / "nft-table-loaded"); }
  void rejectTables() const { writeTextFile(folder / "nft-rejects", ""); }

  TemporaryFolder folder;
  fs::path root;
  fs::path tools;

private:
  void writeTool(const std::string& name, const std::string& body) {
    auto path = tools / name;
    writeTextFile(path, "#!/bin/bash\n" + body);
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  }
};

inline fs::perms permissionsOf(const fs::path& path) { return fs::status(path).permissions() & fs::perms::mask; }

// An authority in `ssl` as versions before the name limit made it: any name may be signed.
inline void makeUnlimitedAuthority(const fs::path& ssl) {
  fs::create_directories(ssl);
  ASSERT_TRUE(runProcess({"/usr/bin/openssl", "req", "-x509", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout",
                          (ssl / "ca-key.pem").string(), "-out", (ssl / "ca.pem").string(), "-days", "30", "-subj",
                          "/CN=Quayside Local CA"})
                  .succeeded());
}

}  // namespace qs::testing

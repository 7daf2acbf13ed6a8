#include "core/routing/ca_trust.h"

#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/process_runner.h"
#include "core/platform/uuid.h"
#include "core/routing/privileged_error.h"
#include "core/routing/shell_quoting.h"

#include <fmt/format.h>

#include <algorithm>
#include <set>
#include <sstream>

namespace qs {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOpenSSL = "/usr/bin/openssl";
// Deleting by nickname removes one certificate a call; a database never holds more than a few.
constexpr int kMaxDuplicates = 16;

std::string database(const fs::path& folder) { return "sql:" + folder.string(); }

// Profile folders below `parent` that hold an NSS database.
void addProfiles(const fs::path& parent, std::vector<fs::path>& into) {
  for (const auto& name : tryListDirectory(parent)) {
    auto folder = parent / name;
    if (fileExists(folder / "cert9.db")) into.push_back(folder);
  }
}

std::string refusalText() {
  return "Trusting the Quayside certificate authority system-wide needs an admin prompt; run 'qs ca trust' once "
         "from a terminal.";
}

}  // namespace

QSCATrust::QSCATrust(fs::path caCertificate, QSSystemRoot system, std::shared_ptr<QSPrivilegedRunner> runner, fs::path home)
    : caCertificate_(std::move(caCertificate)), system_(std::move(system)), runner_(std::move(runner)), home_(std::move(home)) {}

fs::path QSCATrust::certutil() const {
  auto tool = system_.tool("certutil");
  if (!tool) throw QSPrivilegedException(privilegedError::ToolMissing{"certutil"});
  return *tool;
}

std::vector<fs::path> QSCATrust::userDatabases() const {
  std::vector<fs::path> found;
  for (const auto& folder : {home_ / ".pki/nssdb", home_ / ".local/share/pki/nssdb"})
    if (fileExists(folder / "cert9.db")) found.push_back(folder);
  addProfiles(home_ / ".mozilla/firefox", found);
  addProfiles(home_ / "snap/firefox/common/.mozilla/firefox", found);
  if (auto chromium = home_ / "snap/chromium/current/.pki/nssdb"; fileExists(chromium / "cert9.db")) found.push_back(chromium);
  return found;
}

std::optional<QSSystemTrustStore> QSCATrust::systemStore() const {
  if (auto tool = system_.tool("update-ca-certificates"))
    return QSSystemTrustStore{system_.path("/usr/local/share/ca-certificates/quayside-local-ca.crt"),
                              system_.path("/etc/ssl/certs/ca-certificates.crt"), *tool, {}, {"--fresh"}};
  if (auto tool = system_.tool("update-ca-trust"))
    return QSSystemTrustStore{system_.path("/etc/pki/ca-trust/source/anchors/quayside-local-ca.pem"),
                              system_.path("/etc/pki/tls/certs/ca-bundle.crt"), *tool, {"extract"}, {"extract"}};
  if (auto tool = system_.tool("trust"))
    return QSSystemTrustStore{system_.path("/etc/ca-certificates/trust-source/anchors/quayside-local-ca.crt"),
                              system_.path("/etc/ssl/certs/ca-certificates.crt"), *tool, {"extract-compat"}, {"extract-compat"}};
  return std::nullopt;
}

std::string QSCATrust::fingerprint(const std::optional<std::string>& pem) const {
  if (!pem || pem->empty()) return {};
  QSProcessOptions options;
  options.input = *pem;
  auto result = runProcess({kOpenSSL, "x509", "-noout", "-fingerprint", "-sha256"}, options);
  return result.succeeded() ? result.output : std::string();
}

bool QSCATrust::holdsOurCertificate(const fs::path& folder) const {
  auto tool = system_.tool("certutil");
  if (!tool || !fileExists(folder / "cert9.db")) return false;
  auto listed = runProcess({tool->string(), "-L", "-d", database(folder), "-n", std::string(nickname), "-a"});
  if (!listed.succeeded()) return false;
  auto ours = fingerprint(readFileIfPresent(caCertificate_));
  return !ours.empty() && fingerprint(listed.output) == ours;
}

bool QSCATrust::isCATrusted() const {
  if (fingerprint(readFileIfPresent(caCertificate_)).empty()) return false;
  if (holdsOurCertificate(home_ / ".pki/nssdb")) return true;
  auto store = systemStore();
  if (!store || !fileExists(store->bundle)) return false;
  return runProcess({kOpenSSL, "verify", "-no-CApath", "-CAfile", store->bundle.string(), caCertificate_.string()})
      .succeeded();
}

void QSCATrust::removeFromDatabase(const fs::path& folder) const {
  auto tool = certutil();
  for (int i = 0; i < kMaxDuplicates; ++i) {
    auto listed = runProcess({tool.string(), "-L", "-d", database(folder), "-n", std::string(nickname)});
    if (!listed.succeeded()) return;  // none left
    auto removed = runProcess({tool.string(), "-D", "-d", database(folder), "-n", std::string(nickname)});
    if (!removed.succeeded()) throw QSCertificateException(certificateError::KeychainError{removed.exitStatus});
  }
}

fs::path QSCATrust::createdDatabaseMarker() const { return caCertificate_.parent_path() / "created-nss-database"; }

void QSCATrust::removeDatabaseIfUnused(const fs::path& folder) const {
  static const std::set<std::string> created{"cert9.db", "key4.db", "pkcs11.txt"};
  auto entries = tryListDirectory(folder);
  if (entries.empty() || !std::all_of(entries.begin(), entries.end(), [](const auto& e) { return created.contains(e); }))
    return;
  auto tool = certutil();
  // An empty certificate listing is its two header lines; a key listing says it found none.
  auto certificates = runProcess({tool.string(), "-L", "-d", database(folder)});
  auto keys = runProcess({tool.string(), "-K", "-d", database(folder)});
  int listed = 0;
  std::istringstream output(certificates.output);
  for (std::string line; std::getline(output, line);)
    listed += line.find_first_not_of(" \t") != std::string::npos;
  bool empty = certificates.succeeded() && listed == 2 && !keys.succeeded() &&
               (keys.output + keys.errorOutput).find("no keys found") != std::string::npos;
  if (!empty) return;
  for (const auto& name : entries) tryRemoveFile(folder / name);
  tryRemoveEmptyFolders(folder, home_);
}

void QSCATrust::trustCA() {
  auto pem = readFileIfPresent(caCertificate_);
  if (fingerprint(pem).empty()) throw QSCertificateException(certificateError::InvalidCertificate{});
  auto tool = certutil();
  auto own = home_ / ".pki/nssdb";
  if (!fileExists(own / "cert9.db")) {
    createDirectories(own, 0700);
    auto made = runProcess({tool.string(), "-N", "--empty-password", "-d", database(own)});
    if (!made.succeeded()) throw QSCertificateException(certificateError::KeychainError{made.exitStatus});
    writeFileAtomically(createdDatabaseMarker(), own.string(), 0600);
  }
  for (const auto& folder : userDatabases()) {
    removeFromDatabase(folder);  // an older authority of ours must not shadow this one
    auto added = runProcess({tool.string(), "-A", "-d", database(folder), "-t", "C,,", "-n", std::string(nickname), "-i",
                             caCertificate_.string()});
    if (!added.succeeded()) throw QSCertificateException(certificateError::TrustSettingsError{added.exitStatus});
  }
  auto store = systemStore();
  if (!store || readFileIfPresent(store->anchor) == pem) return;
  // Staged outside the user's data folder, which root may not be able to read (a home on NFS).
  auto staged = QSPaths::temporaryFolder() / ("qs-ca-" + QSUUID::random().string());
  writeFileAtomically(staged, *pem, 0644);
  std::string script = fmt::format(
      "#!/bin/bash\nset -e\ntrap 'echo \"Failed step: $BASH_COMMAND\" >&2' ERR\nmkdir -p {0}\ncp {1} {2}\nchmod 644 {2}\n{3}",
      shellPath(store->anchor.parent_path()), shellPath(staged), shellPath(store->anchor), shellPath(store->updateTool));
  for (const auto& argument : store->updateArguments) script += " " + shellQuoted(argument);
  try {
    runner_->run(script + "\n", refusalText());
  } catch (...) {
    tryRemoveFile(staged);
    throw;
  }
  tryRemoveFile(staged);
}

void QSCATrust::untrustCA() {
  for (const auto& folder : userDatabases()) removeFromDatabase(folder);
  if (fileExists(createdDatabaseMarker())) {
    removeDatabaseIfUnused(home_ / ".pki/nssdb");
    tryRemoveFile(createdDatabaseMarker());
  }
  auto store = systemStore();
  if (!store || !fileExists(store->anchor)) return;
  std::string script = fmt::format("#!/bin/bash\nset -e\ntrap 'echo \"Failed step: $BASH_COMMAND\" >&2' ERR\nrm -f {}\n{}",
                                   shellPath(store->anchor), shellPath(store->updateTool));
  for (const auto& argument : store->refreshArguments) script += " " + shellQuoted(argument);
  runner_->run(script + "\n", refusalText());
}

bool trustReplacingUnlimitedCA(QSCertificateService& certificates, QSCATrust& trust) {
  bool replacing = certificates.isCAInstalled() && !certificates.isCALimited();
  if (replacing) {
    trust.untrustCA();
    certificates.replaceUnlimitedCA();
  }
  certificates.ensureCA();
  trust.trustCA();
  return replacing;
}

}  // namespace qs

// Trusting the local certificate authority: in every NSS database of the user (what Firefox,
// Chromium and other NSS programs read) and in the system's trust store (curl, OpenSSL, …).
#pragma once

#include "core/routing/certificate_service.h"
#include "core/routing/privileged_runner.h"
#include "core/routing/system_root.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qs {

// The system trust store of one distribution family.
struct QSSystemTrustStore {
  std::filesystem::path anchor;  // where our certificate goes
  std::filesystem::path bundle;  // the extracted bundle that OpenSSL reads
  std::filesystem::path updateTool;
  std::vector<std::string> updateArguments;  // after adding
  std::vector<std::string> refreshArguments; // after removing
};

class QSCATrust {
public:
  // The certificate's name in NSS databases.
  static constexpr std::string_view nickname = "Quayside Local CA";

  // `caCertificate` is the authority's ca.pem; `home` the user's home folder.
  QSCATrust(std::filesystem::path caCertificate, QSSystemRoot system, std::shared_ptr<QSPrivilegedRunner> runner,
            std::filesystem::path home);

  // The user's NSS databases that exist (hold cert9.db), in a fixed order starting with
  // ~/.pki/nssdb.
  std::vector<std::filesystem::path> userDatabases() const;
  // The trust store of this machine's family (update-ca-certificates, update-ca-trust or
  // trust); nothing when none of their tools is installed.
  std::optional<QSSystemTrustStore> systemStore() const;

  // ca.pem exists and parses, and ~/.pki/nssdb holds this very certificate under our nickname or
  // OpenSSL verifies it against the system bundle.
  bool isCATrusted() const;

  // Adds the certificate (trusted to issue server certificates) to every user database,
  // creating ~/.pki/nssdb when absent and replacing an older certificate of our nickname; then
  // puts it in the system store through the privileged runner, unless it is already there.
  // Throws QSCertificateException (invalidCertificate; keychainError or trustSettingsError with
  // certutil's exit status),
  // QSPrivilegedException from the runner (the user databases are already done then).
  void trustCA();
  // Removes the certificate of our nickname from every user database and, when it is there,
  // from the system store; ~/.pki/nssdb goes too when trustCA created it and it holds nothing
  // else. Throws as above.
  void untrustCA();

private:
  bool holdsOurCertificate(const std::filesystem::path& database) const;
  void removeFromDatabase(const std::filesystem::path& database) const;
  // The user's own NSS database, when trusting had to create it, is removed again on untrusting
  // as long as it holds nothing but what it was created with; a marker beside the authority says
  // it was ours.
  std::filesystem::path createdDatabaseMarker() const;
  void removeDatabaseIfUnused(const std::filesystem::path& database) const;
  std::string fingerprint(const std::optional<std::string>& pem) const;
  std::filesystem::path certutil() const;

  std::filesystem::path caCertificate_;
  QSSystemRoot system_;
  std::shared_ptr<QSPrivilegedRunner> runner_;
  std::filesystem::path home_;
};

// `qs ca trust`: trusts the authority, after replacing one that may sign for any name (made before
// authorities were limited to .test): the old one is untrusted, then a limited one is created
// (QSCertificateService::replaceUnlimitedCA) and trusted. Creates the authority when there is
// none. True when an old one was replaced. Throws as untrustCA, replaceUnlimitedCA and trustCA.
bool trustReplacingUnlimitedCA(QSCertificateService& certificates, QSCATrust& trust);

}  // namespace qs

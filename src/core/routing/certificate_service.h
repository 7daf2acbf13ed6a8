// The local certificate authority: one private CA, a certificate per domain, and one server
// certificate for every HTTPS domain packed as PKCS#12 for the proxy's TLS listener. All key and
// certificate work is done by /usr/bin/openssl; files live under Quayside/ssl, keys owner-only.
//
// Every operation blocks while openssl runs (a 2048-bit key takes a fraction of a second): call
// them off the service loop. One lock serialises them, so two domains' work never interleaves.
#pragma once

#include "core/models/case_coding.h"
#include "core/platform/encoding.h"
#include "core/platform/error_exception.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace qs {

// Cases of QSCertificateError.
namespace certificateError {
using KeychainError = QSUnnamedCase<"keychainError", std::int32_t>;  // certutil's exit status
using TrustSettingsError = QSUnnamedCase<"trustSettingsError", std::int32_t>;
using OpensslFailed = QSUnnamedCase<"opensslFailed", std::int32_t>;  // the exit code
using InvalidCertificate = QSEmptyCase<"invalidCertificate">;
}  // namespace certificateError

struct QSCertificateError : QSEnumeration<certificateError::KeychainError, certificateError::TrustSettingsError,
                                          certificateError::OpensslFailed, certificateError::InvalidCertificate> {
  using QSEnumeration::QSEnumeration;
  static constexpr std::string_view typeName = "QSCertificateError";
  // e.g. "OpenSSL command failed with exit code 1."
  std::string message() const;
};
using QSCertificateException = QSErrorException<QSCertificateError>;

class QSCertificateService {
public:
  // Protects server.p12; the proxy's importer is given it with the bundle.
  static constexpr const char* pkcs12Password = "quaysider";
  static constexpr const char* defaultOpenSSL = "/usr/bin/openssl";

  // Quayside/ssl in the data folder.
  static std::filesystem::path defaultDirectory();

  explicit QSCertificateService(std::filesystem::path directory = defaultDirectory(),
                                std::filesystem::path openssl = defaultOpenSSL);

  const std::filesystem::path& directory() const { return sslDir_; }
  // ca.pem: the certificate clients are told to trust (curl --cacert).
  std::filesystem::path caCertificateURL() const { return sslDir_ / "ca.pem"; }
  bool isCAInstalled() const;

  // Creates the authority (RSA 2048 key, ten-year certificate, limited by a critical name
  // constraint to .test names, 127.0.0.1 and ::1) unless ca.pem exists.
  // Throws QSCertificateException(opensslFailed) at the first failing step; files written so far stay.
  void ensureCA();
  // Whether ca.pem carries the critical name constraint (false when it is missing or unreadable).
  bool isCALimited() const;
  // An authority made before the name constraint existed can sign for any name: it is deleted
  // with everything it signed, and a limited one is created. True when that happened; false (and
  // nothing changes) when there is no authority or it is limited already. Untrust the old one
  // first. Throws as ensureCA.
  bool replaceUnlimitedCA();
  // The domain's certificate and key (cert.pem, key.pem under domains/NAME), issued once and
  // reused. Throws QSDomainException(invalidHostname) for a name that is not a valid .test name,
  // before touching any file.
  std::pair<std::filesystem::path, std::filesystem::path> certificateForDomain(const std::string& domain);
  // Deletes the domain's folder (nothing when it has none). Validates the name the same way.
  void removeCertificate(const std::string& domain);
  // A fresh server certificate whose alternative names are each domain and its wildcard, in
  // order (common name: the first domain, or quayside.test for none), with the authority's
  // certificate, as PKCS#12 protected by pkcs12Password. Validates every name first.
  QSBytes serverCertificatePKCS12(const std::vector<std::string>& domains);

private:
  void ensureCALocked();
  void runOpenSSL(const std::vector<std::string>& arguments) const;
  void generateKey(const std::filesystem::path& key) const;
  void signRequest(const std::filesystem::path& csr, const std::filesystem::path& ext,
                   const std::filesystem::path& cert) const;

  std::filesystem::path sslDir_;
  std::filesystem::path openssl_;
  std::mutex lock_;
};

}  // namespace qs

#include "core/routing/certificate_service.h"

#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/private_file.h"
#include "core/platform/process_runner.h"
#include "core/routing/domain_names.h"

#include <fmt/format.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace qs {
namespace {

// The authority may sign for .test names and the loopback addresses only (critical, so that a
// client that does not understand the limit refuses the authority instead of ignoring it): even
// with its key stolen, it cannot vouch for any other site on this machine.
const char* const kAuthorityExtensions[] = {
    "basicConstraints=critical,CA:TRUE",
    "keyUsage=critical,keyCertSign,cRLSign",
    "nameConstraints=critical,permitted;DNS:test,permitted;IP:127.0.0.1/255.255.255.255,"
    "permitted;IP:::1/ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff",
};

const char* const kSubjectPrefix = "/C=US/ST=Local/L=Local/O=Quayside";
const char* const kLeafExtensions =
    "authorityKeyIdentifier=keyid,issuer\nbasicConstraints=CA:FALSE\n"
    "keyUsage=digitalSignature,nonRepudiation,keyEncipherment,dataEncipherment\n";

std::string serverExtensions(const std::vector<std::string>& domains) {
  std::string text = std::string(kLeafExtensions) + "subjectAltName=@alt_names\n\n[alt_names]\n";
  int position = 0;
  std::vector<std::string> lines;
  for (const auto& domain : domains)
    for (const auto& name : {domain, "*." + domain}) lines.push_back(fmt::format("DNS.{} = {}", ++position, name));
  for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
  return text;
}

}  // namespace

std::string QSCertificateError::message() const {
  return visit(QSOverloaded{
      [](const certificateError::KeychainError& e) {
        return fmt::format("certutil failed with status {}.", e.value);
      },
      [](const certificateError::TrustSettingsError& e) {
        return fmt::format("Failed to set certificate trust settings (status {}).", e.value);
      },
      [](const certificateError::OpensslFailed& e) {
        return fmt::format("OpenSSL command failed with exit code {}.", e.value);
      },
      [](const certificateError::InvalidCertificate&) { return std::string("The certificate data is invalid."); },
  });
}

std::filesystem::path QSCertificateService::defaultDirectory() { return QSPaths::dataFolder() / "ssl"; }

QSCertificateService::QSCertificateService(std::filesystem::path directory, std::filesystem::path openssl)
    : sslDir_(std::move(directory)), openssl_(std::move(openssl)) {}

bool QSCertificateService::isCAInstalled() const { return fileExists(caCertificateURL()); }

void QSCertificateService::runOpenSSL(const std::vector<std::string>& arguments) const {
  std::vector<std::string> command{openssl_.string()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  QSProcessResult result = runProcess(command);  // a launch failure is thrown as it comes
  if (!result.succeeded())
    throw QSCertificateException(QSCertificateError(certificateError::OpensslFailed{result.exitStatus}));
}

void QSCertificateService::generateKey(const std::filesystem::path& key) const {
  createPrivateFile(key);  // openssl writes into it and keeps its mode
  runOpenSSL({"genrsa", "-out", key.string(), "2048"});
}

void QSCertificateService::signRequest(const std::filesystem::path& csr, const std::filesystem::path& ext,
                                       const std::filesystem::path& cert) const {
  runOpenSSL({"x509", "-req", "-in", csr.string(), "-CA", caCertificateURL().string(), "-CAkey",
              (sslDir_ / "ca-key.pem").string(), "-CAcreateserial", "-out", cert.string(), "-days", "365", "-sha256",
              "-extfile", ext.string()});
}

void QSCertificateService::ensureCA() {
  std::lock_guard guard(lock_);
  ensureCALocked();
}

void QSCertificateService::ensureCALocked() {
  if (isCAInstalled()) return;
  createDirectories(sslDir_, 0700);
  auto key = sslDir_ / "ca-key.pem";
  generateKey(key);
  std::vector<std::string> arguments{"req", "-x509", "-new", "-nodes", "-key", key.string(), "-sha256", "-days", "3650",
                                     "-out", caCertificateURL().string(), "-subj",
                                     std::string(kSubjectPrefix) + "/OU=Development/CN=Quayside Local CA"};
  for (const char* extension : kAuthorityExtensions) arguments.insert(arguments.end(), {"-addext", extension});
  runOpenSSL(arguments);
}

bool QSCertificateService::isCALimited() const {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(caCertificateURL().c_str(), "re"), &std::fclose);
  if (!file) return false;
  std::unique_ptr<X509, void (*)(X509*)> certificate(PEM_read_X509(file.get(), nullptr, nullptr, nullptr), &X509_free);
  if (!certificate) return false;
  int at = X509_get_ext_by_NID(certificate.get(), NID_name_constraints, -1);
  return at >= 0 && X509_EXTENSION_get_critical(X509_get_ext(certificate.get(), at));
}

bool QSCertificateService::replaceUnlimitedCA() {
  std::lock_guard guard(lock_);
  if (!isCAInstalled() || isCALimited()) return false;
  // Everything the old authority signed goes with it.
  for (const char* name : {"ca.pem", "ca-key.pem", "ca.srl", "server", "domains"})
    std::filesystem::remove_all(sslDir_ / name);
  ensureCALocked();
  return true;
}

std::pair<std::filesystem::path, std::filesystem::path> QSCertificateService::certificateForDomain(
    const std::string& domain) {
  requireValidHostname(domain);
  std::lock_guard guard(lock_);
  ensureCALocked();
  auto folder = sslDir_ / "domains" / domain;
  auto cert = folder / "cert.pem", key = folder / "key.pem";
  if (fileExists(cert)) return {cert, key};
  createDirectories(folder, 0700);
  generateKey(key);
  auto csr = folder / "csr.pem", ext = folder / "ext.cnf";
  runOpenSSL({"req", "-new", "-key", key.string(), "-out", csr.string(), "-subj",
              std::string(kSubjectPrefix) + "/CN=" + domain});
  writeFileAtomically(ext, std::string(kLeafExtensions) + "subjectAltName=DNS:" + domain + ",DNS:*." + domain);
  signRequest(csr, ext, cert);
  return {cert, key};
}

void QSCertificateService::removeCertificate(const std::string& domain) {
  requireValidHostname(domain);
  std::lock_guard guard(lock_);
  std::filesystem::remove_all(sslDir_ / "domains" / domain);
}

QSBytes QSCertificateService::serverCertificatePKCS12(const std::vector<std::string>& domains) {
  for (const auto& domain : domains) requireValidHostname(domain);
  std::lock_guard guard(lock_);
  ensureCALocked();
  auto folder = sslDir_ / "server";
  createDirectories(folder, 0700);
  auto key = folder / "server-key.pem", csr = folder / "server.csr", ext = folder / "server-ext.cnf";
  auto cert = folder / "server-cert.pem", bundle = folder / "server.p12";
  generateKey(key);
  std::string commonName = domains.empty() ? "quayside.test" : domains.front();
  // An empty alt_names section makes openssl fail: with no domain, the certificate names its
  // common name.
  std::vector<std::string> names = domains.empty() ? std::vector<std::string>{commonName} : domains;
  runOpenSSL({"req", "-new", "-key", key.string(), "-out", csr.string(), "-subj",
              std::string(kSubjectPrefix) + "/CN=" + commonName});
  writeFileAtomically(ext, serverExtensions(names));
  signRequest(csr, ext, cert);
  createPrivateFile(bundle);
  runOpenSSL({"pkcs12", "-export", "-inkey", key.string(), "-in", cert.string(), "-certfile",
              caCertificateURL().string(), "-out", bundle.string(), "-passout", std::string("pass:") + pkcs12Password,
              "-name", "Quayside Proxy"});
  std::string bytes = readFile(bundle);
  return QSBytes(bytes.begin(), bytes.end());
}

}  // namespace qs

// The certificate authority with the real /usr/bin/openssl.
#include "core/platform/process_runner.h"
#include "core/routing/certificate_service.h"
#include "core/routing/domain_names.h"
#include "core/routing/tls_identity.h"
#include "core/routing/privileged_test_support.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using namespace testing;

std::string opensslText(const std::vector<std::string>& arguments) {
  std::vector<std::string> command{"/usr/bin/openssl"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  auto result = runProcess(command, {.mergeErrorIntoOutput = true});
  EXPECT_EQ(result.exitStatus, 0) << result.output;
  return result.output;
}

class CertificateServiceTest : public ::testing::Test {
protected:
  TemporaryFolder folder;
  std::filesystem::path ssl = folder / "ssl";
  QSCertificateService service{ssl};
};

TEST_F(CertificateServiceTest, CreatesTheAuthorityOnceWithPrivateKeys) {
  EXPECT_FALSE(service.isCAInstalled());
  service.ensureCA();
  ASSERT_TRUE(service.isCAInstalled());
  EXPECT_EQ(permissionsOf(ssl), std::filesystem::perms(0700));
  EXPECT_EQ(permissionsOf(ssl / "ca-key.pem"), std::filesystem::perms(0600));
  std::string subject = opensslText({"x509", "-in", (ssl / "ca.pem").string(), "-noout", "-subject"});
  EXPECT_EQ(subject, "subject=C = US, ST = Local, L = Local, O = Quayside, OU = Development, CN = Quayside Local CA\n");

  std::string ca = readTextFile(ssl / "ca.pem"), key = readTextFile(ssl / "ca-key.pem");
  service.ensureCA();
  EXPECT_EQ(readTextFile(ssl / "ca.pem"), ca);
  EXPECT_EQ(readTextFile(ssl / "ca-key.pem"), key);
}

TEST_F(CertificateServiceTest, ServerBundleCoversEveryDomainAndItsWildcard) {
  QSBytes bundle = service.serverCertificatePKCS12({"blog.test", "shop.test"});
  auto server = ssl / "server";
  EXPECT_NE(opensslText({"x509", "-in", (server / "server-cert.pem").string(), "-noout", "-ext", "subjectAltName"})
                .find("DNS:blog.test, DNS:*.blog.test, DNS:shop.test, DNS:*.shop.test\n"),
            std::string::npos);
  EXPECT_EQ(permissionsOf(server / "server-key.pem"), std::filesystem::perms(0600));
  EXPECT_EQ(permissionsOf(server / "server.p12"), std::filesystem::perms(0600));
  std::string verified = opensslText({"verify", "-CAfile", (ssl / "ca.pem").string(), (server / "server-cert.pem").string()});
  EXPECT_EQ(verified, (server / "server-cert.pem").string() + ": OK\n");
  std::string subject = opensslText({"x509", "-in", (server / "server-cert.pem").string(), "-noout", "-subject"});
  EXPECT_EQ(subject, "subject=C = US, ST = Local, L = Local, O = Quayside, CN = blog.test\n");

  // The proxy's importer takes it with the fixed pass phrase, and only with it (garbage: the proxy's tests).
  EXPECT_TRUE(makeTLSServerContext(bundle, QSCertificateService::pkcs12Password));
  EXPECT_THROW(makeTLSServerContext(bundle, "wrong"), QSProxyException);

  service.serverCertificatePKCS12({});
  subject = opensslText({"x509", "-in", (server / "server-cert.pem").string(), "-noout", "-subject"});
  EXPECT_EQ(subject, "subject=C = US, ST = Local, L = Local, O = Quayside, CN = quayside.test\n");
}

TEST_F(CertificateServiceTest, DomainCertificatesAreIssuedOnce) {
  auto [cert, key] = service.certificateForDomain("blog.test");
  EXPECT_EQ(permissionsOf(key), std::filesystem::perms(0600));
  std::string names = opensslText({"x509", "-in", cert.string(), "-noout", "-ext", "subjectAltName"});
  EXPECT_NE(names.find("DNS:blog.test, DNS:*.blog.test"), std::string::npos) << names;

  // A second call finds the certificate and runs nothing: this service has no openssl at all.
  QSCertificateService withoutOpenSSL(ssl, folder / "no-openssl");
  EXPECT_EQ(withoutOpenSSL.certificateForDomain("blog.test"), std::make_pair(cert, key));
  withoutOpenSSL.removeCertificate("blog.test");
  EXPECT_FALSE(std::filesystem::exists(ssl / "domains/blog.test"));
}

TEST_F(CertificateServiceTest, InvalidNamesNeverReachOpenSSLOrTheFileSystem) {
  for (const char* name : {"../../evil.test", "a/b.test", "a b.test", "Blog.test", "x.test/CN=evil"}) {
    EXPECT_EQ(thrownMessage<QSDomainException>([&] { service.certificateForDomain(name); }),
              "Invalid hostname: " + std::string(name) + ". Must match [a-z0-9-]+.test");
    EXPECT_THROW(service.serverCertificatePKCS12({"blog.test", name}), QSDomainException) << name;
    EXPECT_THROW(service.removeCertificate(name), QSDomainException) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(ssl));
}

TEST_F(CertificateServiceTest, AFailingStepStopsWithItsExitCode) {
  QSCertificateService failing(ssl, "/bin/false");
  EXPECT_EQ(thrownMessage<QSCertificateException>([&] { failing.ensureCA(); }), "OpenSSL command failed with exit code 1.");
  EXPECT_FALSE(failing.isCAInstalled());
}

}  // namespace
}  // namespace qs

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

// What openssl reads from the certificate at `path`: its subject, or the extension named.
std::string x509(const std::filesystem::path& path, const std::string& extension = "") {
  std::vector<std::string> command{"/usr/bin/openssl", "x509", "-in", path.string(), "-noout"};
  if (extension.empty()) command.push_back("-subject");
  else command.insert(command.end(), {"-ext", extension});
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

TEST_F(CertificateServiceTest, MakesTheAuthorityAndDomainCertificatesOnceWithPrivateKeys) {
  EXPECT_FALSE(service.isCAInstalled());
  service.ensureCA();
  ASSERT_TRUE(service.isCAInstalled());
  EXPECT_EQ(permissionsOf(ssl), std::filesystem::perms(0700));
  EXPECT_EQ(permissionsOf(ssl / "ca-key.pem"), std::filesystem::perms(0600));

  std::string ca = readTextFile(ssl / "ca.pem"), caKey = readTextFile(ssl / "ca-key.pem");
  service.ensureCA();
  EXPECT_EQ(readTextFile(ssl / "ca.pem"), ca);
  EXPECT_EQ(readTextFile(ssl / "ca-key.pem"), caKey);

  // So are domain certificates.
  auto [cert, key] = service.certificateForDomain("blog.test");
  EXPECT_EQ(permissionsOf(key), std::filesystem::perms(0600));
  EXPECT_TRUE(x509(cert, "subjectAltName").ends_with("    DNS:blog.test, DNS:*.blog.test\n"));
  // A second call finds the certificate and runs nothing: this service has no openssl at all.
  QSCertificateService withoutOpenSSL(ssl, folder / "no-openssl");
  EXPECT_EQ(withoutOpenSSL.certificateForDomain("blog.test"), std::make_pair(cert, key));
  withoutOpenSSL.removeCertificate("blog.test");
  EXPECT_FALSE(std::filesystem::exists(ssl / "domains/blog.test"));
}

TEST_F(CertificateServiceTest, ServerBundleCoversEveryDomainAndItsWildcard) {
  QSBytes bundle = service.serverCertificatePKCS12({"blog.test", "shop.test"});
  auto server = ssl / "server";
  EXPECT_TRUE(x509(server / "server-cert.pem", "subjectAltName")
                  .ends_with("DNS:blog.test, DNS:*.blog.test, DNS:shop.test, DNS:*.shop.test\n"));
  EXPECT_EQ(permissionsOf(server / "server-key.pem"), std::filesystem::perms(0600));
  EXPECT_EQ(permissionsOf(server / "server.p12"), std::filesystem::perms(0600));
  // Signed by the authority: the proxy's tests verify it as a client does.
  const std::string subject = "subject=C = US, ST = Local, L = Local, O = Quayside, CN = ";
  EXPECT_EQ(x509(server / "server-cert.pem"), subject + "blog.test\n");

  // The proxy's importer takes it with the fixed pass phrase, and only with it.
  EXPECT_TRUE(makeTLSServerContext(bundle, QSCertificateService::pkcs12Password));
  EXPECT_THROW(makeTLSServerContext(bundle, "wrong"), QSProxyException);

  service.serverCertificatePKCS12({});
  EXPECT_EQ(x509(server / "server-cert.pem"), subject + "quayside.test\n");
}

// openssl verify of `cert` against the authority alone: its complaint, or "" when it verifies.
std::string verify(const std::filesystem::path& ssl, const std::filesystem::path& cert) {
  auto result = runProcess({"/usr/bin/openssl", "verify", "-CAfile", (ssl / "ca.pem").string(),
                            cert.string()},
                           {.mergeErrorIntoOutput = true});
  return result.succeeded() ? "" : result.output;
}

// A certificate for `name` signed with the authority's key, as anyone holding it could make.
std::filesystem::path signForAnyName(const std::filesystem::path& ssl, const std::string& name) {
  auto folder = ssl / "rogue";
  std::filesystem::create_directories(folder);
  writeTextFile(folder / "ext.cnf", "basicConstraints=CA:FALSE\nsubjectAltName=DNS:" + name + "\n");
  auto openssl = [](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "/usr/bin/openssl");
    EXPECT_TRUE(runProcess(arguments).succeeded());
  };
  openssl({"req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", (folder / "key.pem").string(), "-out",
           (folder / "csr.pem").string(), "-subj", "/CN=" + name});
  openssl({"x509", "-req", "-in", (folder / "csr.pem").string(), "-CA", (ssl / "ca.pem").string(), "-CAkey",
           (ssl / "ca-key.pem").string(), "-CAcreateserial", "-out", (folder / "cert.pem").string(), "-days", "1",
           "-extfile", (folder / "ext.cnf").string()});
  return folder / "cert.pem";
}

// Even with its key stolen, the authority vouches for .test names and the loopback addresses only.
TEST_F(CertificateServiceTest, TheAuthorityCanSignForTestNamesOnly) {
  auto [cert, key] = service.certificateForDomain("blog.test");
  EXPECT_TRUE(service.isCALimited());
  EXPECT_EQ(x509(ssl / "ca.pem", "nameConstraints"),
            "X509v3 Name Constraints: critical\n    Permitted:\n      DNS:test\n      IP:127.0.0.1/255.255.255.255\n"
            "      IP:0:0:0:0:0:0:0:1/FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF\n");
  EXPECT_EQ(verify(ssl, cert), "");
  EXPECT_EQ(verify(ssl, signForAnyName(ssl, "www.example.com")).find("permitted subtree violation") != std::string::npos,
            true);
  EXPECT_FALSE(service.replaceUnlimitedCA());  // limited already: nothing changes
  EXPECT_TRUE(std::filesystem::exists(cert));
}

// An authority made before the limit existed is replaced, with everything it signed.
TEST_F(CertificateServiceTest, AnUnlimitedAuthorityIsReplaced) {
  makeUnlimitedAuthority(ssl);
  auto old = readTextFile(ssl / "ca.pem");
  service.serverCertificatePKCS12({"blog.test"});
  EXPECT_FALSE(service.isCALimited());
  EXPECT_EQ(verify(ssl, signForAnyName(ssl, "www.example.com")), "");  // what the old one allowed

  EXPECT_TRUE(service.replaceUnlimitedCA());
  EXPECT_TRUE(service.isCALimited());
  EXPECT_NE(readTextFile(ssl / "ca.pem"), old);
  EXPECT_FALSE(std::filesystem::exists(ssl / "server"));
  EXPECT_EQ(permissionsOf(ssl / "ca-key.pem"), std::filesystem::perms(0600));
}

TEST_F(CertificateServiceTest, InvalidNamesNeverReachOpenSSLAndFailingStepsSayHow) {
  for (const char* name : {"../../evil.test", "a/b.test", "a b.test", "Blog.test", "x.test/CN=evil"}) {
    EXPECT_EQ(thrownMessage<QSDomainException>([&] { service.certificateForDomain(name); }),
              "Invalid hostname: " + std::string(name) + ". Must match [a-z0-9-]+.test");
    EXPECT_THROW(service.serverCertificatePKCS12({"blog.test", name}), QSDomainException) << name;
    EXPECT_THROW(service.removeCertificate(name), QSDomainException) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(ssl));

  // A failing step stops with its exit code.
  QSCertificateService failing(ssl, "/bin/false");
  EXPECT_EQ(thrownMessage<QSCertificateException>([&] { failing.ensureCA(); }), "OpenSSL command failed with exit code 1.");
  EXPECT_FALSE(failing.isCAInstalled());
}

}  // namespace
}  // namespace qs

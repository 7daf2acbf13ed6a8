// Trust in the local authority with the real certutil on scratch NSS databases, and the system
// store in a scratch root with a stand-in update-ca-certificates.
#include "core/platform/process_runner.h"
#include "core/routing/ca_trust.h"
#include "core/routing/certificate_service.h"
#include "core/routing/privileged_test_support.h"

#include <gmock/gmock.h>

namespace qs {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace fs = std::filesystem;

// A new authority in `folder`, made as the daemon makes it.
void makeAuthority(const fs::path& folder) {
  fs::remove(folder / "ca.pem");
  QSCertificateService(folder).ensureCA();
}

std::string certutilList(const fs::path& database) {
  return runProcess({"certutil", "-L", "-d", "sql:" + database.string()}).output;
}

struct Fixture {
  IsolatedHome home;
  StandInSystem stand;
  fs::path ssl = home.home() / "ssl";
  std::shared_ptr<RecordingRunner> runner = std::make_shared<RecordingRunner>();
  QSCATrust trust{ssl / "ca.pem", stand.system({"/usr/bin"}), runner, home.home()};
  fs::path anchor = stand.root / "usr/local/share/ca-certificates/quayside-local-ca.crt";
  Fixture() { makeAuthority(ssl); }
};

TEST(CATrustTest, TrustThenUntrustRoundTrip) {
  Fixture f;
  auto firefox = f.home.home() / ".mozilla/firefox/abcd.default-release";
  fs::create_directories(firefox);
  ASSERT_TRUE(runProcess({"certutil", "-N", "--empty-password", "-d", "sql:" + firefox.string()}).succeeded());
  EXPECT_FALSE(f.trust.isCATrusted());

  f.trust.trustCA();
  auto own = f.home.home() / ".pki/nssdb";
  EXPECT_THAT(f.trust.userDatabases(), ElementsAre(own, firefox));
  for (const auto& database : {own, firefox}) EXPECT_THAT(certutilList(database), ::testing::ContainsRegex("Quayside Local CA +C,,"));
  EXPECT_EQ(readTextFile(f.anchor), readTextFile(f.ssl / "ca.pem"));
  EXPECT_THAT(f.stand.calls("update-ca-certificates"), ElementsAre(""));
  EXPECT_TRUE(f.trust.isCATrusted());

  // Trusting again touches nothing as root: the system store already holds it.
  f.trust.trustCA();
  EXPECT_EQ(f.runner->scripts.size(), 1u);

  // A new authority replaces the old one of the same name; the old one no longer counts.
  makeAuthority(f.ssl);
  fs::remove(f.stand.root / "etc/ssl/certs/ca-certificates.crt");
  EXPECT_FALSE(f.trust.isCATrusted());
  f.trust.trustCA();
  EXPECT_TRUE(f.trust.isCATrusted());
  auto listed = certutilList(own);
  EXPECT_EQ(listed.find("Quayside Local CA"), listed.rfind("Quayside Local CA")) << listed;

  f.trust.untrustCA();
  for (const auto& database : {own, firefox}) EXPECT_THAT(certutilList(database), ::testing::Not(HasSubstr("Quayside")));
  EXPECT_FALSE(fs::exists(f.anchor));
  EXPECT_THAT(f.stand.calls("update-ca-certificates"), ElementsAre("", "", "--fresh"));
  EXPECT_FALSE(f.trust.isCATrusted());
}

// `qs ca trust` with an authority from before the name limit: the old one is untrusted
// everywhere, a limited one takes its place and is trusted.
TEST(CATrustTest, TrustingReplacesAnUnlimitedAuthority) {
  Fixture f;
  makeUnlimitedAuthority(f.ssl);
  f.trust.trustCA();
  auto old = readTextFile(f.ssl / "ca.pem");
  auto nssdb = f.home.home() / ".pki/nssdb";
  auto pem = [&] {
    auto text = runProcess({"certutil", "-L", "-d", "sql:" + nssdb.string(), "-n", "Quayside Local CA", "-a"}).output;
    std::erase(text, '\r');
    return text;
  };
  ASSERT_EQ(pem(), old);

  QSCertificateService certificates(f.ssl);
  EXPECT_TRUE(trustReplacingUnlimitedCA(certificates, f.trust));
  auto fresh = readTextFile(f.ssl / "ca.pem");
  EXPECT_NE(fresh, old);
  EXPECT_TRUE(certificates.isCALimited());
  EXPECT_EQ(pem(), fresh);  // the old one is gone from the database, the new one is there
  EXPECT_EQ(readTextFile(f.anchor), fresh);
  EXPECT_THAT(f.stand.calls("update-ca-certificates"), ElementsAre("", "--fresh", ""));
  EXPECT_TRUE(f.trust.isCATrusted());

  EXPECT_FALSE(trustReplacingUnlimitedCA(certificates, f.trust));  // limited now: only trusted again
  EXPECT_EQ(readTextFile(f.ssl / "ca.pem"), fresh);
}

}  // namespace
}  // namespace qs

// The hosting client and token exchange against the fake service: the wire, error texts, token caching,
// redirects and certificates (scripted failures and time-outs: the publish flow's test).
#include "app/publish/hosting_client.h"
#include "app/publish/hosting_configuration.h"
#include "app/publish/hub_token_service.h"
#include "core/platform/settings.h"
#include "publish_test_support.h"
#include "support/fake_hosting_service.h"
#include "support/process_helpers.h"

namespace qs {
namespace {

using namespace publishtest;
using testing::FakeHTTPServer;
using testing::FakeRequest;
using testing::FakeResponse;
using namespace std::chrono_literals;

class HostingClientTest : public ::testing::Test {
protected:
  QSHostingClient clientWith(std::string key) {
    return QSHostingClient::make(fake.apiURL(), std::move(key), tokens, session);
  }
  testing::FakeHostingService fake;
  std::shared_ptr<QSHTTPSession> session = QSHTTPSession::make();
  QSTimestamp now = QSTime::now();
  QSHubTokenService tokens{fake.hubURL(), session, [this] { return now; }};
  QSHostingClient client = clientWith("key-123");
};

TEST_F(HostingClientTest, RequestsCarryTheirHeadersBodiesArchivesAndOnlyTheToken) {
  QSHostingHealth health = run(client.health());
  EXPECT_EQ(health.build, "42");
  QSSite site = run(client.createSite("blog", QSHostingTier::vapor));
  EXPECT_EQ(site.hostingTier, QSHostingTier::vapor);  // (dates: the records' test below)
  EXPECT_FALSE(run(client.checkSubdomainAvailability("blog")).available);

  auto requests = fake.requests();
  ASSERT_EQ(fake.requestLines(), (std::vector<std::string>{"GET /api/health", "POST /hub/auth/token", "POST /api/v1/sites",
                                                           "POST /api/v1/sites/check-subdomain"}));
  EXPECT_EQ(requests[0].header("accept"), "application/json");
  EXPECT_EQ(requests[0].header("authorization"), "");
  EXPECT_EQ(requests[1].header("authorization"), "Bearer key-123");
  EXPECT_EQ(requests[2].header("authorization"), "Bearer token-1");
  EXPECT_EQ(requests[2].header("content-type"), "application/json");
  EXPECT_EQ(nlohmann::json::parse(requests[2].body), (nlohmann::json{{"subdomain", "blog"}, {"hostingTier", "vapor"}}));
  EXPECT_EQ(requests[3].header("authorization"), "");

  // The archive goes up as multipart form data.
  testing::TemporaryFolder folder;
  testing::writeTextFile(folder / "a.tar.gz", std::string("\x1f\x8b\0binary\r\n--", 11));
  QSDeployAccepted accepted = run(client.deploy("blog", folder / "a.tar.gz"));
  EXPECT_EQ(accepted.status, QSDeploymentStatus::queued);
  FakeRequest upload = fake.requests().back();
  EXPECT_EQ(upload.path, "/api/v1/runtimes/blog/deploy");
  std::string type = upload.header("content-type");
  ASSERT_EQ(type.rfind("multipart/form-data; boundary=", 0), 0u) << type;
  std::string boundary = type.substr(30);
  EXPECT_TRUE(QSUUID::parse(boundary)) << boundary;
  EXPECT_EQ(upload.body, "--" + boundary +
                             "\r\nContent-Disposition: form-data; name=\"tarball\"; filename=\"blog.tar.gz\"\r\n"
                             "Content-Type: application/gzip\r\n\r\n" +
                             std::string("\x1f\x8b\0binary\r\n--", 11) + "\r\n--" + boundary + "--\r\n");

  EXPECT_EQ(failureOf(client.deploy("blog", folder / "gone.tar.gz")),
            "couldn't read the packaged tarball: open " + (folder / "gone.tar.gz").string() +
                ": No such file or directory");
}

TEST_F(HostingClientTest, FailuresCarryTheServicesTexts) {
  // An empty key never reaches the network.
  EXPECT_EQ(failureOf(clientWith("").site("blog")), "Add your Brindle Hosting API key in Settings before publishing.");
  EXPECT_TRUE(fake.requests().empty());
  run(client.createSite("blog", QSHostingTier::vapor));
  EXPECT_EQ(failureOf(client.createSite("blog", QSHostingTier::vapor)), "That subdomain is taken.");

  FakeHTTPServer bare([](const FakeRequest& r) {
    return r.path == "/hub/auth/token" ? FakeResponse{403, "no"} : FakeResponse{500, "<h1>oops</h1>"};
  });
  QSHubTokenService bareTokens(bare.url("/hub"), session);
  QSHostingClient bareClient = QSHostingClient::make(bare.url("/api"), "key-123", bareTokens, session);
  EXPECT_EQ(failureOf(bareClient.health()), "Brindle Hosting returned an error (500): Internal Server Error");
  EXPECT_EQ(failureOf(bareClient.site("blog")), "Your Brindle Hosting API key was rejected. Check it in Settings.");
}

TEST_F(HostingClientTest, TokensAreReusedUntilAMinuteBeforeTheyExpire) {
  fake.script.tokenLifetime = 120;
  QSTimestamp start = now;
  EXPECT_EQ(run(tokens.jwt("key-123")), "token-1");
  now = start + 59s;  // 61 seconds left
  EXPECT_EQ(run(tokens.jwt("key-123")), "token-1");
  now = start + 61s;  // 59 seconds left
  EXPECT_EQ(run(tokens.jwt("key-123")), "token-2");
  tokens.invalidate("key-123");
  EXPECT_EQ(run(tokens.jwt("key-123")), "token-3");
  EXPECT_EQ(fake.tokensIssued(), 3);
}

TEST_F(HostingClientTest, ATokenTheServiceNoLongerTakesIsExchangedOnceMore) {
  fake.script.tokenUses = 1;
  run(client.createSite("blog", QSHostingTier::vapor));
  EXPECT_EQ(run(client.site("blog")).subdomain, "blog");
  EXPECT_EQ(fake.tokensIssued(), 2);
  EXPECT_EQ(fake.requests().back().header("authorization"), "Bearer token-2");
}

TEST_F(HostingClientTest, RedirectsStayOnTheirHostAndPlainHTTPStaysOnThisComputer) {
  FakeHTTPServer elsewhere([](const FakeRequest&) { return FakeResponse::json(200, "{}"); });
  std::string away = elsewhere.url("/steal");
  FakeHTTPServer redirecting([&](const FakeRequest& r) {
    if (r.path == "/api/health") return FakeResponse{307, "", {{"Location", "/api/health-2"}}};
    if (r.path == "/api/health-2") return FakeResponse::json(200, R"({"status":"ok","build":"7","sha":"s"})");
    return FakeResponse{307, "", {{"Location", away}}};
  });
  QSHostingClient redirected = QSHostingClient::make(redirecting.url("/api/"), "key-123", tokens, session);
  EXPECT_EQ(run(redirected.health()).build, "7");
  EXPECT_EQ(failureOf(redirected.site("blog")),
            "Couldn't reach Brindle Hosting: the request was redirected to another host (http://127.0.0.1:" +
                std::to_string(elsewhere.port()) + "); the redirect wasn't followed");
  EXPECT_TRUE(elsewhere.requests().empty());

  QSHostingClient remote = QSHostingClient::make("http://hosting.example/api", "key-123", tokens, session);
  EXPECT_EQ(failureOf(remote.health()),
            "Couldn't reach Brindle Hosting: only https addresses are allowed (plain http only to this computer): "
            "http://hosting.example/api/health");
}

// The real openssl serving TLS on loopback with a certificate (for 127.0.0.1) that nobody trusts.
TEST_F(HostingClientTest, CertificatesAreAlwaysVerified) {
  testing::TemporaryFolder folder;
  std::string key = (folder / "key.pem").string(), cert = (folder / "cert.pem").string();
  ASSERT_TRUE(runProcess({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                          "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out", cert, "-days",
                          "1", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"})
                  .succeeded());
  std::vector<std::string> serve{"s_server", "-www", "-accept", "127.0.0.1:0", "-cert", cert, "-key", key};
  auto server = QSChildProcess::spawn({"/usr/bin/openssl", serve, folder.path(), {}});
  auto output = server->takeStandardOutput();
  std::string said;  // "Using default temp DH parameters", then "ACCEPT 127.0.0.1:PORT" once it listens
  while (!said.ends_with("\n") || said.find("ACCEPT ") == std::string::npos) {
    std::string more = testing::readFromPipe(output.get(), true);
    if (more.empty()) break;  // openssl ended: the check below fails
    said += more;
  }
  std::size_t at = said.find("ACCEPT ") + 7;
  std::string url = "https://" + said.substr(at, said.find('\n', at) - at) + "/api/";
  std::string failure = failureOf(QSHostingClient::make(url, "key-123", tokens, session).health());
  server->signal(SIGKILL);
  testing::reapWithin(*server, std::chrono::seconds(10));
  EXPECT_EQ(failure.rfind("Couldn't reach Brindle Hosting: SSL certificate problem: self-signed certificate", 0), 0u)
      << failure;
}

TEST(HostingRecordsTest, DatesAndUnknownValues) {
  auto decode = [](const std::string& date) {
    try {
      return QSTime::iso8601(fromJson<QSHostingDate>(date, QSCoder::stateFile()).value);
    } catch (const QSDecodingError& e) {
      return std::string(e.what());
    }
  };
  EXPECT_EQ(decode("2026-12-01T10:00:00.5Z"), "2026-12-01T10:00:00.500Z");
  EXPECT_EQ(decode("2026-12-01T11:00:00+01:00"), "2026-12-01T10:00:00.000Z");
  EXPECT_EQ(decode("2026-12-01 10:00:00Z"), "Unrecognized date format");
  EXPECT_EQ(fromJson<QSDeploymentStatus>("rolling-back", QSCoder::stateFile()), QSDeploymentStatus::unknown);
}

TEST(HostingConfigurationTest, AddressesAndKeysComeFromSettingsAndTheEnvironment) {
  testing::TemporaryFolder folder;
  testing::ScopedEnvironment clean({{"QS_HUB_URL", std::nullopt}, {"QS_HOSTING_API_KEY", std::nullopt}});
  QSSettings settings(folder / "settings.json");
  settings.set("qs.hubBaseURL", "hub.dev.example");  // no scheme: ignored
  EXPECT_EQ(QSHostingConfiguration::hubBaseURL(settings), QSHostingConfiguration::productionBaseURL);
  settings.set("qs.hubBaseURL", "  https://hub.dev.example/\n");
  EXPECT_EQ(QSHostingConfiguration::hubBaseURL(settings), "https://hub.dev.example/");
  settings.set("qs.publishAPIKey", " stored\n");
  EXPECT_EQ(QSHostingConfiguration::apiKey(settings), "stored");
  EXPECT_EQ(QSHostingConfiguration::apiKeySource(settings), "settings");
  testing::ScopedEnvironment overrides({{"QS_HUB_URL", "http://127.0.0.1:9/hub/"}, {"QS_HOSTING_API_KEY", "from-env"}});
  EXPECT_EQ(QSHostingConfiguration::hubBaseURL(settings), "http://127.0.0.1:9/hub/");
  EXPECT_EQ(QSHostingConfiguration::apiKey(settings), "from-env");
  EXPECT_EQ(QSHostingConfiguration::apiKeySource(settings), "QS_HOSTING_API_KEY");
}

// The request's limit is on silence: a long upload that keeps moving is not cut (a 30 MB archive
// at 64 KiB/s takes about 8 minutes), one that stops is.
TEST(TransferSilenceTest, OnlyATransferThatStopsRunsOut) {
  using namespace std::chrono_literals;
  QSTransferSilence::Clock::time_point start;
  QSTransferSilence silence(300s, start);
  std::int64_t moved = 0;
  for (int second = 1; second <= 480; ++second) {
    moved += 64 * 1024;
    ASSERT_FALSE(silence.tooLong(start + std::chrono::seconds(second), moved)) << second;
  }
  EXPECT_FALSE(silence.tooLong(start + 780s, moved)) << "300 s without a byte: not yet";
  EXPECT_TRUE(silence.tooLong(start + 781s, moved));
  EXPECT_FALSE(silence.tooLong(start + 782s, moved + 1)) << "a byte moved again";
}

}  // namespace
}  // namespace qs

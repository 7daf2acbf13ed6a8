// The publish flow against the fake service: the phases a user watches, what reaches the
// service, each scripted failure and the phase it names, the build log and its console.
#include "app/publish/hub_token_service.h"
#include "app/publish/publish_service.h"
#include "core/platform/files.h"
#include "publish_test_support.h"
#include "support/fake_hosting_service.h"

namespace qs {
namespace {

using namespace publishtest;
using Kind = QSPublishPhase::Kind;
using namespace std::chrono_literals;

class PublishServiceTest : public ::testing::Test {
protected:
  PublishServiceTest() {
    writeProjectWithClutter(project, folder / "outside.txt");
    service.archiveFolder = folder / "archives";
    service.onPhaseChange = [this](const QSPublishPhase& phase) { phases.push_back(phase); };
    service.pause = [this](std::chrono::milliseconds interval) -> asio::awaitable<void> {
      pauses.push_back(interval);
      co_return;
    };
  }

  void publish(QSServerOptions options = {}, std::optional<bool> database = std::nullopt) {
    run(service.publish(project, "blog", options, database));
  }
  std::vector<Kind> kinds() const {
    std::vector<Kind> out;
    for (const auto& phase : phases) out.push_back(phase.kind);
    return out;
  }
  bool archivesLeft() { return isDirectory(folder / "archives") && !listDirectory(folder / "archives").empty(); }

  testing::TemporaryFolder folder;
  std::filesystem::path project = folder / "blog";
  testing::FakeHostingService fake;
  std::shared_ptr<QSHTTPSession> session = QSHTTPSession::make();
  QSHubTokenService tokens{fake.hubURL(), session};
  QSPublishService service{QSHostingClient::make(fake.apiURL(), "key-123", tokens, session)};
  std::vector<QSPublishPhase> phases;
  std::vector<std::chrono::milliseconds> pauses;
};

TEST_F(PublishServiceTest, APublishGoesThroughEveryPhaseAndUploadsTheProject) {
  fake.script.finalURL = "https://blog.example.test";
  publish();
  EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::checkingAPI, Kind::preparingSite, Kind::provisioning, Kind::packaging,
                                        Kind::uploading, Kind::deploying, Kind::succeeded}));
  EXPECT_EQ(service.phase(), QSPublishPhase::succeeded("https://blog.example.test"));
  EXPECT_FALSE(service.phaseStartedAt());
  EXPECT_EQ(std::vector<std::string>(service.consoleOutput().begin(), service.consoleOutput().end()),
            (std::vector<std::string>{"Compiling App", "Build complete"}));
  EXPECT_EQ(fake.requestLines(),
            (std::vector<std::string>{"GET /api/health", "POST /hub/auth/token", "GET /api/v1/sites/blog",
                                      "POST /api/v1/sites", "POST /api/v1/runtimes", "POST /api/v1/runtimes/blog/deploy",
                                      "GET /api/v1/runtimes/blog/deployments/C2F2D1A6-5F64-4B55-9D0E-3A1E4B7F0001/logs"}));
  EXPECT_EQ(fake.provisionedDatabase(), false);
  EXPECT_TRUE(fake.optionsRequests().empty());  // the standard machine needs no options request

  auto uploaded = [this] {
    testing::writeTextFile(folder / "uploaded.tar.gz", fake.uploadedArchive());
    return tarEntries(folder / "uploaded.tar.gz");
  };
  EXPECT_EQ(uploaded(), kProjectEntries);
  EXPECT_FALSE(archivesLeft());

  // The .env file goes with the upload unless left out.
  testing::writeTextFile(project / ".env", "DATABASE_PASSWORD=local-secret\n");
  publish();
  auto entries = uploaded();
  EXPECT_TRUE(std::find(entries.begin(), entries.end(), ".env") != entries.end());
  service.excludeEnv = true;
  publish();
  EXPECT_EQ(uploaded(), kProjectEntries);
}

TEST_F(PublishServiceTest, DatabaseAndMachineOptions) {
  testing::writeTextFile(project / "Package.swift", ".package(url: \"https://github.com/vapor/fluent.git\")");
  QSServerOptions options;
  options.memoryMB = 2048;
  options.region = "fra";
  publish(options);
  EXPECT_EQ(fake.provisionedDatabase(), true);
  ASSERT_EQ(fake.optionsRequests().size(), 1u);
  EXPECT_EQ(fake.optionsRequests()[0],
            (nlohmann::json{{"memoryMB", 2048}, {"cpus", 1}, {"cpuKind", "shared"}, {"region", "fra"},
                            {"machineCount", 1}, {"alwaysOn", false}, {"dedicatedIPv4", false}, {"apply", true}}));
  publish({}, false);  // the user turned the database off
  EXPECT_EQ(fake.provisionedDatabase(), false);

  // Fluent just added to the manifest: Package.resolved does not name it until the next resolve.
  testing::writeTextFile(project / "Package.resolved", "{\"pins\": [{\"identity\": \"vapor\"}]}");
  EXPECT_TRUE(QSPublishService::usesDatabase(project));
  testing::writeTextFile(project / "Package.swift", ".package(url: \"https://github.com/vapor/vapor.git\")");
  EXPECT_FALSE(QSPublishService::usesDatabase(project));
  testing::writeTextFile(project / "Package.resolved", "{\"pins\": [{\"identity\": \"Fluent-Kit\"}]}");
  EXPECT_TRUE(QSPublishService::usesDatabase(project));
}

struct FailureCase {
  std::string name;
  std::function<void(testing::FakeHostingService::Script&)> script;
  Kind failedDuring;
  std::string message;
};

TEST_F(PublishServiceTest, EachFailureEndsTheFlowInTheStepThatFailed) {
  std::vector<FailureCase> cases{
      {"provisioning", [](auto& s) { s.provisionFailure = {{503, "No capacity in iad"}}; }, Kind::provisioning,
       "Brindle Hosting returned an error (503): No capacity in iad"},
      {"upload rejected", [](auto& s) { s.uploadFailure = {{413, "The archive is larger than 500 MB."}}; },
       Kind::uploading, "Brindle Hosting returned an error (413): The archive is larger than 500 MB."},
      {"build failed", [](auto& s) { s.buildSucceeds = false, s.buildError = "error: no such module 'Vapr'"; },
       Kind::deploying, "error: no such module 'Vapr'"},
      {"build failed silently", [](auto& s) { s.buildSucceeds = false; }, Kind::deploying,
       "The build failed. See the log below."},
      {"malformed answer", [](auto& s) { s.malformedPaths = {"/v1/runtimes"}; }, Kind::provisioning,
       "Brindle Hosting returned an unexpected response."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake.script = {};
    c.script(fake.script);
    phases.clear();
    publish();
    EXPECT_EQ(service.phase(), QSPublishPhase::failed(c.message));
    EXPECT_EQ(service.failedDuring(), c.failedDuring);
    EXPECT_EQ(kinds().end()[-2], c.failedDuring);
    EXPECT_FALSE(archivesLeft());
    // The build's own lines stay for the user to read.
    EXPECT_EQ(service.consoleOutput().size(), c.failedDuring == Kind::deploying ? 2u : 0u);
  }
}

TEST_F(PublishServiceTest, AServiceThatNeverAnswersFailsWithItsTimeOut) {
  fake.script.silentPaths = {"/v1/runtimes/blog/deploy"};
  service.client.timeoutOverride = 200ms;
  publish();
  EXPECT_EQ(service.failedDuring(), Kind::uploading);
  EXPECT_EQ(service.phase().message,
            "Couldn't reach Brindle Hosting: The request timed out: nothing moved for 0.2 seconds.");
  EXPECT_FALSE(archivesLeft());
}

TEST_F(PublishServiceTest, TheLogIsFollowedPageByPageWithPausesOnlyAfterEmptyPages) {
  std::vector<std::string> many;
  for (int i = 1; i <= 5001; ++i) many.push_back("line " + std::to_string(i));
  fake.script.logPages = {{"a"}, {}, many, {}, {"z"}};
  publish();
  EXPECT_EQ(pauses, (std::vector<std::chrono::milliseconds>{2000ms, 2000ms}));
  auto lines = fake.requestLines();
  std::vector<std::string> cursors(lines.end() - 5, lines.end());
  for (auto& line : cursors) line = line.substr(line.find("/logs"));
  EXPECT_EQ(cursors, (std::vector<std::string>{"/logs", "/logs?cursor=1", "/logs?cursor=1", "/logs?cursor=5002",
                                               "/logs?cursor=5002"}));
  ASSERT_EQ(service.consoleOutput().size(), QSPublishService::consoleLimit);
  EXPECT_EQ(service.consoleOutput().front(), "line 3");
  EXPECT_EQ(service.consoleOutput().back(), "z");
}

TEST_F(PublishServiceTest, TheAddressComesFromTheLogTheAcceptanceOrTheSubdomain) {
  publish();
  EXPECT_EQ(service.phase().url, "https://blog.brindle.site");
  fake.script.acceptedURL = "https://accepted.example";
  publish();
  EXPECT_EQ(service.phase().url, "https://accepted.example");
  fake.script.finalURL = "https://final.example";
  publish();
  EXPECT_EQ(service.phase().url, "https://final.example");
  service.reset();
  EXPECT_EQ(service.phase().label(), "Ready to publish");
  EXPECT_TRUE(service.consoleOutput().empty());
}

}  // namespace
}  // namespace qs

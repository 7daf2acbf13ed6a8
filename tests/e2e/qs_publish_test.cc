// Publishing end to end: the real qs and quaysided against the fake hosting service and hub,
// with the real tar and zip.
#include "e2e/e2e_support.h"

#include "core/platform/files.h"
#include "support/fake_hosting_service.h"

#include <asio/local/stream_protocol.hpp>

#include <sys/stat.h>

namespace qs::testing {
namespace {

class PublishCommands : public E2ETest {
protected:
  PublishCommands() {
    environment["QS_HOSTING_URL"] = fake.apiURL();
    environment["QS_HUB_URL"] = fake.hubURL();
    writeVaporPackage(project, "blog");
    writeTextFile(project / ".build/debug/App", "binary");
  }
  void addProject() {
    startDaemon();
    qsOK({"add", project.string()});
  }
  std::vector<std::string> leftoverArchives() { return tryListDirectory(home.home() / "tmp"); }

  FakeHostingService fake;
  std::filesystem::path project = home.home() / "code/blog";
};

TEST_F(PublishCommands, PublishShowsEachPhaseTheBuildLogTheAddressAndTheEnvNote) {
  addProject();
  environment["QS_HOSTING_API_KEY"] = "key-123";
  fake.script.logPages = {{"Compiling App", "\x1b]0;pwned\x07" "Build complete"}};
  auto published = qs({"publish", "blog"});
  ASSERT_EQ(published.status, 0) << published.err;
  // Not a terminal: a line a phase (the labels: the renderer's test), the build log with its control
  // characters replaced, then the address.
  EXPECT_TRUE(published.out.starts_with("Contacting Brindle Hosting\u2026\nPreparing your site\u2026\n"))
      << published.out;
  EXPECT_TRUE(published.out.ends_with("you can leave this open.\n  | Compiling App\n"
                                      "  | \uFFFD]0;pwned\uFFFDBuild complete\nPublished: https://blog.brindle.site\n"))
      << published.out;
  EXPECT_EQ(published.err, "");
  EXPECT_TRUE(leftoverArchives().empty());

  auto json = qs({"publish", "blog", "--subdomain", "my-blog", "--runtime-option", "region=fra", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  std::vector<nlohmann::json> events;
  std::istringstream lines(json.out);
  for (std::string line; std::getline(lines, line);) events.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(events.size(), 9u) << json.out;
  EXPECT_EQ(events[0]["phase"], "checkingAPI");
  EXPECT_TRUE(events[0].contains("startedAt"));
  EXPECT_EQ(events[6], (nlohmann::json{{"event", "log"}, {"line", "Compiling App"}}));
  EXPECT_EQ(events[8], (nlohmann::json{{"event", "phase"}, {"phase", "succeeded"}, {"label", "Published"},
                                       {"url", "https://my-blog.brindle.site"}}));
  EXPECT_EQ(fake.optionsRequests().at(0)["region"], "fra");

  // Neither the key nor a token ever shows.
  for (const auto& output : {published.out, published.err, json.out, json.err}) {
    EXPECT_EQ(output.find("key-123"), std::string::npos);
    EXPECT_EQ(output.find("token-"), std::string::npos);
  }

  // The project's .env goes with the upload unless left out, and qs says so.
  writeTextFile(project / ".env", "DATABASE_PASSWORD=local-only\n");
  std::string note = "Note: The project's .env goes with the upload, as the hosted build reads it; it holds whatever "
                     "you put there, local database passwords included. Add --exclude-env to leave it out.\n";
  auto withEnv = qs({"publish", "blog"});
  ASSERT_EQ(withEnv.status, 0) << withEnv.err;
  EXPECT_TRUE(withEnv.out.starts_with(note)) << withEnv.out;
  auto without = qs({"publish", "blog", "--exclude-env"});
  ASSERT_EQ(without.status, 0) << without.err;
  EXPECT_EQ(without.out.find("Note:"), std::string::npos);
  writeTextFile(home.home() / "uploaded.tar.gz", fake.uploadedArchive());
  EXPECT_EQ(runProcess({"/usr/bin/tar", "-tzf", (home.home() / "uploaded.tar.gz").string(), "./.env"}).exitStatus, 2)
      << "left out";
  EXPECT_TRUE(leftoverArchives().empty());
}

TEST_F(PublishCommands, FailuresAndInterruptionsNameTheirStep) {
  addProject();
  environment["QS_HOSTING_API_KEY"] = "key-123";
  fake.script.uploadFailure = {{413, "The archive is larger than 500 MB."}};
  EXPECT_EQ(qsFails({"publish", "blog"}),
            "qs: Publishing failed while uploading: Brindle Hosting returned an error (413): The archive is larger "
            "than 500 MB.\n");
  EXPECT_TRUE(leftoverArchives().empty());

  auto json = qs({"publish", "blog", "--json"});
  EXPECT_EQ(json.status, 1);
  auto last = nlohmann::json::parse(json.out.substr(json.out.rfind('\n', json.out.size() - 2) + 1));
  EXPECT_EQ(last["failedDuring"], "uploading");
  EXPECT_EQ(last["message"], "Brindle Hosting returned an error (413): The archive is larger than 500 MB.");

  EXPECT_EQ(qs({"publish", "blog", "--subdomain", "Bad_Name"}).err,
            "qs: 'Bad_Name' can't be a subdomain: use 1 to 63 lower-case letters, digits and hyphens, not starting or "
            "ending with a hyphen (--subdomain).\n");
  EXPECT_EQ(qs({"publish", "blog", "--runtime-option", "region=mars"}).err,
            "qs: --runtime-option region: 'mars' isn't one of iad, ord, lax, lhr, fra, nrt, syd.\n");

  // Ctrl-C during an upload that hangs stops the publish and removes its archive.
  fake.script.uploadFailure.reset();
  fake.script.silentPaths = {"/v1/runtimes/blog/deploy"};
  RunningQs running({"publish", "blog"}, environment, home.home());
  running.readUntil("Uploading to Brindle Hosting\u2026\n");
  EXPECT_EQ(running.interrupt(), 130);
  EXPECT_EQ(running.errors(),
            "qs: Publishing was interrupted. What already reached Brindle Hosting stays there.\n");
  EXPECT_TRUE(leftoverArchives().empty());

  environment.erase("QS_HOSTING_API_KEY");
  EXPECT_EQ(qsFails({"publish", "blog"}),
            "qs: Add your Brindle Hosting API key in Settings before publishing. Store one with 'qs hosting login', or "
            "set QS_HOSTING_API_KEY.\n");
  std::size_t before = fake.requests().size();
  std::filesystem::rename(project, home.home() / "code/moved");
  EXPECT_EQ(qsFails({"publish", "blog"}), "qs: The folder of blog is gone (" + project.string() +
                                              "). Move it back, or remove the project with 'qs rm blog'.\n");
  EXPECT_EQ(fake.requests().size(), before);  // nothing reached the service
}

TEST_F(PublishCommands, PackageWritesTheArchiveTheAppWouldSave) {
  addProject();
  EXPECT_EQ(qsFails({"package", "blog", "--zip", "out dir/blog.zip"}),
            "qs: No folder at " + (home.home() / "out dir").string() + " to write the archive into.\n");
  // Into the project folder itself: the archive never holds itself.
  EXPECT_EQ(qs({"package", ".", "--tar", "blog.tar.gz"}, project).status, 0);
  EXPECT_EQ(runProcess({"/usr/bin/tar", "-tzf", (project / "blog.tar.gz").string()}).output, "./\n./Package.swift\n");
  std::filesystem::remove(project / "blog.tar.gz");

  // Given a folder, --zip and --tar write NAME.zip and NAME.tar.gz in it; a socket is skipped.
  asio::io_context io;
  asio::local::stream_protocol::acceptor server(io, {(project / "app.sock").string()});  // a server left it
  auto folder = home.home() / "out dir";
  std::filesystem::create_directories(folder);
  std::string skipped = "Skipped 1 entry that no archive can hold (sockets, FIFOs, devices): app.sock\n";
  EXPECT_EQ(qsOK({"package", "blog", "--zip", "out dir"}),
            skipped + "Wrote " + (folder / "blog.zip").string() +
                " (blog without .git, .build, .DS_Store, .swiftpm).\n");
  EXPECT_EQ(qsOK({"package", "blog", "--tar", "out dir/"}),
            skipped + "Wrote " + (folder / "blog.tar.gz").string() +
                " (blog without .git, .build, .DS_Store, .swiftpm).\n");
  EXPECT_EQ(runProcess({"/usr/bin/tar", "-tzf", (folder / "blog.tar.gz").string()}).output, "./\n./Package.swift\n");
  EXPECT_EQ(runProcess({"/usr/bin/zipinfo", "-1", (folder / "blog.zip").string()}).output, "Package.swift\n");
}

TEST_F(PublishCommands, LoginStoresTheKeyForOnlyTheUserAndLogoutForgetsIt) {
  auto settingsFile = home.home() / ".config/Quayside/settings.json";
  writeTextFile(settingsFile, "{\"qs.mailSMTPPort\": \"1025\"}\n");
  ::chmod(settingsFile.c_str(), 0644);

  auto refused = run({qsPath(), "hosting", "login"}, "wrong-key\n", home.home());
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            "qs: Your Brindle Hosting API key was rejected. Check it in Settings. The key was not stored.\n");

  auto login = run({qsPath(), "hosting", "login"}, "  key-123\n", home.home());
  ASSERT_EQ(login.status, 0) << login.err;
  EXPECT_EQ(login.out, "The hub accepted it. Stored your Brindle Hosting API key in " +
                           settingsFile.string() + " (readable only by you).\n");
  struct stat st {};
  ASSERT_EQ(::stat(settingsFile.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  auto stored = nlohmann::json::parse(readTextFile(settingsFile));
  EXPECT_EQ(stored["qs.publishAPIKey"], "key-123");
  EXPECT_EQ(stored["qs.mailSMTPPort"], "1025");
  EXPECT_NE(qsOK({"hosting", "status"}).find("API key      stored in " + settingsFile.string()), std::string::npos);

  // The stored key publishes a project given by its folder, without a daemon.
  qsOK({"publish", project.string()});

  EXPECT_EQ(qsOK({"hosting", "logout"}), "Removed the stored Brindle Hosting API key.\n");
  EXPECT_FALSE(nlohmann::json::parse(readTextFile(settingsFile)).contains("qs.publishAPIKey"));
  EXPECT_EQ(qsOK({"hosting", "logout"}), "No Brindle Hosting API key was stored.\n");
}

}  // namespace
}  // namespace qs::testing

// Installing engines from archives served by a local HTTP server, built from source with make,
// and linked from a stand-in system tree.
#include "core/databases/database_error.h"
#include "core/databases/service_downloader.h"
#include "core/platform/files.h"
#include "core/platform/process_runner.h"
#include "support/fake_http_server.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <gtest/gtest.h>

#include <map>

namespace qs {
namespace {

namespace fs = std::filesystem;
using testing::FakeHTTPServer;
using testing::FakeRequest;
using testing::FakeResponse;

// A server that answers each path with its response, and any other with 404.
struct Serving {
  explicit Serving(std::map<std::string, FakeResponse> responses)
      : server([responses](const FakeRequest& r) {
          auto it = responses.find(r.path);
          return it != responses.end() ? it->second : FakeResponse{404, "not found"};
        }) {}
  std::string url(const std::string& path) const { return server.url(path); }
  FakeHTTPServer server;
};

// A .tar.gz of `files` (path → contents) below one top folder, made by tar itself.
std::string makeArchive(const fs::path& scratch, const std::map<std::string, std::string>& files) {
  fs::path top = scratch / "pkg";
  fs::remove_all(scratch);
  for (const auto& [path, contents] : files) testing::writeTextFile(top / "pkg-1.0" / path, contents);
  auto made = runProcess({"/usr/bin/tar", "czf", (scratch / "a.tar.gz").string(), "-C", top.string(), "pkg-1.0"});
  EXPECT_TRUE(made.succeeded()) << made.errorOutput;
  return testing::readTextFile(scratch / "a.tar.gz");
}

class DownloaderTest : public ::testing::Test {
protected:
  testing::TemporaryFolder folder;
  QSServiceDownloader downloader{folder / "services", folder / "downloads"};

  QSServiceDefinition definition(const std::string& url, QSArchiveFormat format = QSArchiveFormat::tarGZ) {
    return {.id = "redis-9", .type = QSDatabaseType::redis, .version = "9", .platform = "x86_64",
            .downloadURL = url, .binaryNames = {"redis-server", "redis-cli"}, .archiveFormat = format};
  }

  std::string installError(const QSServiceDefinition& d) {
    return testing::thrownMessage<QSServiceDownloadException>([&] { downloader.install(d); });
  }
};

TEST_F(DownloaderTest, InstallsVerifiedArchivesAndReplacesEarlierInstalls) {
  std::string first = makeArchive(folder / "scratch", {{"bin/redis-server", "#!/bin/sh\necho one\n"}, {"bin/old", "x"}});
  std::string second = makeArchive(folder / "scratch", {{"bin/redis-server", "#!/bin/sh\necho two\n"}});
  Serving server({{"/first.tar.gz", {200, first}}, {"/second.tar.gz", {200, second}}});

  // A checksum in upper-case letters matches the lower-case digest.
  auto d = definition(server.url("/first.tar.gz"));
  testing::writeTextFile(folder / "first", first);
  std::string digest = fileSHA256(folder / "first");
  for (auto& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  d.checksum = digest;
  std::vector<double> progress;
  fs::path installed = downloader.install(d, [&](double f) { progress.push_back(f); });
  EXPECT_EQ(runProcess({(installed / "bin/redis-server").string()}).output, "one\n");
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_TRUE(std::all_of(progress.begin(), progress.end(), [](double f) { return f >= 0 && f <= 1; }));
  EXPECT_TRUE(tryListDirectory(folder / "downloads").empty());  // the archive is deleted

  auto replacement = definition(server.url("/second.tar.gz"));
  downloader.install(replacement);
  EXPECT_EQ(runProcess({(installed / "bin/redis-server").string()}).output, "two\n");
  EXPECT_FALSE(fileExists(installed / "bin/old"));

  downloader.uninstall("redis-9");
  EXPECT_FALSE(downloader.installPath("redis-9"));
}

TEST_F(DownloaderTest, Failures) {
  std::string archive = makeArchive(folder / "scratch", {{"bin/redis-server", "x"}});
  Serving server({
      {"/good.tar.gz", {200, archive}},
      {"/truncated.tar.gz",
       {.raw = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" + archive.substr(0, 50)}},
      {"/garbage.tar.gz", {200, "this is not a tar archive"}},
  });
  auto mismatch = definition(server.url("/good.tar.gz"));
  mismatch.checksum = std::string(64, 'a');
  std::string wrong = installError(mismatch);
  EXPECT_EQ(wrong.rfind("Checksum verification failed. Expected aaaaaaaa..., got ", 0), 0u) << wrong;
  EXPECT_FALSE(downloader.installPath("redis-9"));  // nothing unpacked

  EXPECT_EQ(installError(definition(server.url("/truncated.tar.gz"))), "Failed to download service: redis-9");
  EXPECT_TRUE(tryListDirectory(folder / "downloads").empty());  // partial data is not kept
  EXPECT_EQ(installError(definition("file:///etc/passwd")), "Failed to download service: redis-9");
  EXPECT_EQ(installError(definition(server.url("/garbage.tar.gz"))), "Failed to extract archive (exit code 2)");
  EXPECT_EQ(installError(definition(server.url("/good.tar.gz"), QSArchiveFormat::dmg)),
            "Failed to extract archive (exit code -1)");
}

TEST_F(DownloaderTest, SystemEnginesAreLinkedOrNamedByTheirPackage) {
  fs::path root = folder / "root";
  for (const char* tool : {"postgres", "pg_ctl", "initdb", "psql"}) {
    testing::writeTextFile(root / "usr/lib/postgresql/15/bin" / tool, "#!/bin/sh\n");
    fs::permissions(root / "usr/lib/postgresql/15/bin" / tool, fs::perms(0755));
  }
  testing::writeTextFile(root / "etc/os-release", "ID=fedora\nVERSION_ID=40\n");
  QSSystemEngines system(root);
  QSServiceDownloader linker(folder / "services", folder / "downloads", system);
  // (The links to its tools: the end-to-end database tests.)
  EXPECT_EQ(system.definition(QSDatabaseType::postgresql).displayVersion(), "PostgreSQL 15");

  EXPECT_EQ(testing::thrownMessage<QSServiceDownloadException>([&] { linker.install(system.definition(QSDatabaseType::redis)); }),
            "This engine comes from the system's packages, which are not installed: run 'dnf install redis' first.");
  testing::writeTextFile(root / "etc/os-release", "ID=ubuntu\nID_LIKE=debian\n");
  EXPECT_EQ(system.packageCommand(QSDatabaseType::mysql), "apt install mariadb-server");
  EXPECT_EQ(system.packageCommand(QSDatabaseType::postgresql), "apt install postgresql");
}

}  // namespace
}  // namespace qs

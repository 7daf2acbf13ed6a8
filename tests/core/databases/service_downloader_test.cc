// Installing engines from archives served by a local HTTP server, built from source with make,
// and linked from a stand-in system tree.
#include "core/databases/database_error.h"
#include "core/databases/service_downloader.h"
#include "core/platform/file_status.h"
#include "core/platform/files.h"
#include "core/platform/process_runner.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read_until.hpp>
#include <asio/streambuf.hpp>
#include <asio/write.hpp>

#include <map>
#include <thread>

namespace qs {
namespace {

namespace fs = std::filesystem;
using asio::ip::tcp;

// Answers each request with the raw response registered for its path (404 otherwise), one
// request per connection, on 127.0.0.1 and a port of the system's choosing.
class LocalHTTPServer {
public:
  explicit LocalHTTPServer(std::map<std::string, std::string> responses)
      : responses_(std::move(responses)), acceptor_(io_, {asio::ip::make_address("127.0.0.1"), 0}) {
    thread_ = std::thread([this] { serve(); });
  }
  ~LocalHTTPServer() {
    // A last connection wakes the blocking accept.
    stopping_ = true;
    asio::io_context wake;
    tcp::socket socket(wake);
    asio::error_code ec;
    socket.connect({asio::ip::make_address("127.0.0.1"), port()}, ec);
    thread_.join();
  }
  unsigned short port() const { return acceptor_.local_endpoint().port(); }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port()) + path; }

  static std::string ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  }

private:
  void serve() {
    while (!stopping_) {
      tcp::socket socket(io_);
      asio::error_code ec;
      acceptor_.accept(socket, ec);
      if (ec || stopping_) return;
      asio::streambuf request;
      asio::read_until(socket, request, "\r\n\r\n", ec);
      std::string head(asio::buffers_begin(request.data()), asio::buffers_end(request.data()));
      std::string path = head.substr(4, head.find(' ', 4) - 4);
      auto it = responses_.find(path);
      std::string response = it != responses_.end() ? it->second
                                                     : "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found";
      asio::write(socket, asio::buffer(response), ec);
    }
  }

  std::map<std::string, std::string> responses_;
  asio::io_context io_;
  tcp::acceptor acceptor_;
  std::thread thread_;
  bool stopping_ = false;
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
    try {
      downloader.install(d);
    } catch (const QSServiceDownloadException& e) {
      return e.what();
    }
    return "installed";
  }
};

TEST_F(DownloaderTest, InstallsVerifiedArchivesAndReplacesEarlierInstalls) {
  std::string first = makeArchive(folder / "scratch", {{"bin/redis-server", "#!/bin/sh\necho one\n"}, {"bin/old", "x"}});
  std::string second = makeArchive(folder / "scratch", {{"bin/redis-server", "#!/bin/sh\necho two\n"}});
  LocalHTTPServer server({{"/first.tar.gz", LocalHTTPServer::ok(first)}, {"/second.tar.gz", LocalHTTPServer::ok(second)}});

  // A checksum in upper-case letters matches the lower-case digest.
  auto d = definition(server.url("/first.tar.gz"));
  testing::writeTextFile(folder / "first", first);
  std::string digest = fileSHA256(folder / "first");
  for (auto& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  d.checksum = digest;
  std::vector<double> progress;
  fs::path installed = downloader.install(d, [&](double f) { progress.push_back(f); });
  EXPECT_EQ(installed, folder / "services/redis-9");
  EXPECT_TRUE(isExecutableFile(installed / "bin/redis-server"));
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
  LocalHTTPServer server({
      {"/good.tar.gz", LocalHTTPServer::ok(archive)},
      {"/truncated.tar.gz", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" + archive.substr(0, 50)},
      {"/garbage.tar.gz", LocalHTTPServer::ok("this is not a tar archive")},
  });
  auto mismatch = definition(server.url("/good.tar.gz"));
  mismatch.checksum = std::string(64, 'a');
  std::string wrong = installError(mismatch);
  EXPECT_EQ(wrong.rfind("Checksum verification failed. Expected aaaaaaaa..., got ", 0), 0u) << wrong;
  EXPECT_FALSE(downloader.installPath("redis-9"));  // nothing unpacked

  EXPECT_EQ(installError(definition(server.url("/missing.tar.gz"))), "Failed to download service: redis-9");
  EXPECT_EQ(installError(definition(server.url("/truncated.tar.gz"))), "Failed to download service: redis-9");
  EXPECT_TRUE(tryListDirectory(folder / "downloads").empty());  // partial data is not kept
  EXPECT_EQ(installError(definition("file:///etc/passwd")), "Failed to download service: redis-9");
  EXPECT_EQ(installError(definition(server.url("/garbage.tar.gz"))), "Failed to extract archive (exit code 2)");
  EXPECT_EQ(installError(definition(server.url("/good.tar.gz"), QSArchiveFormat::dmg)),
            "Failed to extract archive (exit code -1)");
}

TEST_F(DownloaderTest, BuildsSourceArchivesWithMake) {
  std::string source = makeArchive(folder / "scratch", {
      {"Makefile", "all:\n\tmkdir -p src\n\tprintf '#!/bin/sh\\necho built\\n' > src/redis-server\n"},
  });
  LocalHTTPServer server({{"/src.tar.gz", LocalHTTPServer::ok(source)}});
  fs::path installed = downloader.install(definition(server.url("/src.tar.gz"), QSArchiveFormat::sourceTarGZ));
  EXPECT_EQ(runProcess({(installed / "bin/redis-server").string()}).output, "built\n");
  EXPECT_FALSE(fileExists(installed / "bin/redis-cli"));  // not built, skipped
  EXPECT_TRUE(tryListDirectory(folder / "downloads").empty());  // build folder and archive removed

  std::string broken = makeArchive(folder / "scratch", {{"Makefile", "all:\n\tfalse\n"}});
  LocalHTTPServer failing({{"/src.tar.gz", LocalHTTPServer::ok(broken)}});
  EXPECT_EQ(installError(definition(failing.url("/src.tar.gz"), QSArchiveFormat::sourceTarGZ)),
            "Failed to extract archive (exit code 2)");
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
  auto postgres = system.definition(QSDatabaseType::postgresql);
  EXPECT_EQ(postgres.id, "postgresql-system");
  EXPECT_EQ(postgres.displayVersion(), "PostgreSQL 15");
  fs::path installed = linker.install(postgres);
  EXPECT_TRUE(isSymbolicLink(installed / "bin/pg_ctl"));
  EXPECT_EQ(fs::read_symlink(installed / "bin/pg_ctl"), root / "usr/lib/postgresql/15/bin/pg_ctl");

  try {
    linker.install(system.definition(QSDatabaseType::redis));
    FAIL() << "installed";
  } catch (const QSServiceDownloadException& e) {
    EXPECT_STREQ(e.what(), "This engine comes from the system's packages, which are not installed: run 'dnf install "
                           "redis' first.");
  }
  testing::writeTextFile(root / "etc/os-release", "ID=ubuntu\nID_LIKE=debian\n");
  EXPECT_EQ(system.packageCommand(QSDatabaseType::mysql), "apt install mariadb-server");
  EXPECT_EQ(system.packageCommand(QSDatabaseType::postgresql), "apt install postgresql");
}

}  // namespace
}  // namespace qs

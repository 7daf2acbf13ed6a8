// Packaging a project with the real tar and zip: what is left out, links, awkward paths, failures.
#include "app/publish/project_packager.h"
#include "core/platform/files.h"
#include "publish_test_support.h"
#include "support/process_helpers.h"

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/local/stream_protocol.hpp>

#include <sys/stat.h>

namespace qs {
namespace {

using namespace publishtest;
namespace fs = std::filesystem;

class ProjectPackagerTest : public ::testing::Test {
protected:
  ProjectPackagerTest() {
    std::filesystem::create_directories(project.parent_path());
    writeProjectWithClutter(project, folder / "outside/secret.txt");
  }
  testing::TemporaryFolder folder;
  fs::path project = folder / "my \"odd\" projects/blog 'v2'";
  QSProjectPackager packager;
};

TEST_F(ProjectPackagerTest, TarArchivesTakeFreshNamesAndKeepLinksAsLinks) {
  fs::path out = folder / "out";
  fs::path first = run(packager.package(project, QSProjectPackager::defaultExcludes, out));
  fs::path second = run(packager.package(project, QSProjectPackager::defaultExcludes, out));
  EXPECT_NE(first, second);
  EXPECT_EQ(first.parent_path(), out);
  EXPECT_EQ(first.filename().string().rfind("blog 'v2'-", 0), 0u) << first;
  EXPECT_EQ(first.extension(), ".gz");
  std::string listing = runProcess({"/usr/bin/tar", "-tvzf", first.string(), "./Public/secret.txt"}).output;
  EXPECT_NE(listing.find("./Public/secret.txt -> " + (folder / "outside/secret.txt").string()), std::string::npos)
      << listing;
}

TEST_F(ProjectPackagerTest, TarWritesIntoTheProjectItReads) {
  // The archive must exist before tar reads the folders, or tar may fail on the folder that
  // changed under it; this stand-in refuses to run otherwise, deterministically.
  fs::path tar = folder / "tar";
  testing::writeTextFile(tar, "#!/bin/sh\n[ -e \"$2\" ] || { echo \"no archive before the scan\" >&2; exit 3; }\n"
                              "exec /usr/bin/tar \"$@\"\n");
  fs::permissions(tar, fs::perms::owner_all);
  packager.tarExecutable = tar;
  fs::path archive = run(packager.package(project, QSProjectPackager::defaultExcludes, project / "Public"));
  EXPECT_EQ(tarEntries(archive), kProjectEntries) << "the archive does not take in itself";
}

TEST_F(ProjectPackagerTest, ZipLeavesOutExcludesAtAnyDepthKeepsLinksAndReplacesAnOldFile) {
  fs::path destination = folder / "exports/blog.zip";
  fs::create_directories(destination.parent_path());
  testing::writeTextFile(folder / "stale.txt", "old");
  runProcess({"/usr/bin/zip", "-q", "-j", destination.string(), (folder / "stale.txt").string()});
  ASSERT_EQ(zipEntries(destination), std::vector<std::string>{"stale.txt"});

  run(packager.exportZip(project, destination, QSProjectPackager::defaultExcludes));
  EXPECT_EQ(zipEntries(destination), kProjectEntries);
  // Stored as a link: its content is the target's path, never the secret itself.
  std::string stored = runProcess({"/usr/bin/unzip", "-p", destination.string(), "Public/secret.txt"}).output;
  EXPECT_EQ(stored, (folder / "outside/secret.txt").string());
}

TEST_F(ProjectPackagerTest, SocketsAndFifosAreSkippedByBothArchivers) {
  // What a running server or a tool leaves in a project: a listening socket, a named pipe.
  fs::create_directories(project / "run");
  asio::io_context io;
  asio::local::stream_protocol::acceptor listening(io, {(project / "run/a*b [1].sock").string()});
  ASSERT_EQ(::mkfifo((project / "Sources/pipe").c_str(), 0600), 0);
  std::vector<std::string> special{"Sources/pipe", "run/a*b [1].sock"};
  EXPECT_EQ(QSProjectPackager::specialEntries(project, QSProjectPackager::defaultExcludes), special);

  auto expected = kProjectEntries;
  expected.push_back("run");
  std::sort(expected.begin(), expected.end());
  run(packager.exportZip(project, folder / "blog.zip", QSProjectPackager::defaultExcludes));
  EXPECT_EQ(zipEntries(folder / "blog.zip"), expected);
  EXPECT_EQ(tarEntries(run(packager.package(project, QSProjectPackager::defaultExcludes, folder / "out"))), expected);
}

TEST_F(ProjectPackagerTest, AnArchiveInTheTemporaryFolderIsOnlyTheUsers) {
  fs::path temporary = folder / "tmp";
  fs::create_directories(temporary);
  testing::ScopedEnvironment tmpdir{{{"TMPDIR", temporary.string()}}};
  fs::path archive = run(packager.package(project, QSProjectPackager::defaultExcludes));
  EXPECT_EQ(archive.parent_path().parent_path(), temporary);
  EXPECT_EQ(fs::status(archive.parent_path()).permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(archive).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  QSProjectPackager::discard(archive);
  EXPECT_TRUE(listDirectory(temporary).empty()) << "the archive and its folder are gone";
}

TEST_F(ProjectPackagerTest, FailuresCarryTheirTextsAndLeaveNoArchive) {
  // Both checks come before any process: the archivers here could not even start.
  packager.tarExecutable = packager.zipExecutable = "/nonexistent/archiver";
  fs::path gone = folder / "gone";
  EXPECT_EQ(failureOf(packager.package(gone, {}, folder / "out")), "Not a project directory: " + gone.string());
  fs::create_directories(folder / "empty");
  EXPECT_EQ(failureOf(packager.package(folder / "empty", {}, folder / "out")),
            "No Package.swift found \u2014 this doesn't look like a Vapor/SwiftPM project.");

  packager.tarExecutable = packager.zipExecutable = "/bin/false";
  EXPECT_EQ(failureOf(packager.package(project, {}, folder / "out")), "Packaging failed (tar exited with code 1).");
  EXPECT_TRUE(listDirectory(folder / "out").empty());
  EXPECT_EQ(failureOf(packager.exportZip(project, folder / "x.zip", {})), "Export failed (zip exited with code 1).");
}

// A publish cancelled while tar runs: tar is killed, the half-written archive goes with its folder.
TEST_F(ProjectPackagerTest, CancellingStopsTheArchiverAndLeavesNoArchive) {
  fs::path tar = folder / "tar", started = folder / "started";
  testing::writeTextFile(tar, "#!/bin/sh\nprintf partial > \"$2\"\necho $$ > '" + started.string() +
                                  ".tmp'\nmv '" + started.string() + ".tmp' '" + started.string() +
                                  "'\nexec sleep 600\n");
  fs::permissions(tar, fs::perms::owner_all);
  packager.tarExecutable = tar;
  asio::io_context io;
  asio::cancellation_signal cancel;
  std::optional<std::exception_ptr> outcome;
  asio::co_spawn(io, packager.package(project, QSProjectPackager::defaultExcludes, folder / "out"),
                 asio::bind_cancellation_slot(cancel.slot(), [&](std::exception_ptr e, fs::path) { outcome = e; }));
  ASSERT_TRUE(testing::runUntil(io, [&] { return fileExists(started); }));
  cancel.emit(asio::cancellation_type::terminal);
  ASSERT_TRUE(testing::runUntil(io, [&] { return outcome.has_value(); }));
  EXPECT_TRUE(*outcome);
  EXPECT_TRUE(listDirectory(folder / "out").empty());
  // The stand-in is gone (or a zombie, killed, not yet collected).
  EXPECT_TRUE(testing::waitUntilGone(std::stoi(testing::readTextFile(started))));
}

}  // namespace
}  // namespace qs

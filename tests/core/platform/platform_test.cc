#include "core/platform/encoding.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/plain_file.h"
#include "core/platform/port_probe.h"
#include "core/platform/private_file.h"
#include "core/platform/process_runner.h"
#include "core/platform/settings.h"
#include "core/platform/staged_file.h"
#include "core/platform/system_error.h"
#include "core/platform/timestamp.h"
#include "core/platform/trash.h"
#include "core/platform/uuid.h"
#include "support/process_helpers.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <gtest/gtest.h>

#include <asio/ip/tcp.hpp>
#include <asio/ip/v6_only.hpp>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace qs {
namespace {

using testing::IsolatedHome;
using testing::TemporaryFolder;
using testing::readTextFile;
using testing::writeTextFile;

mode_t modeOf(const std::filesystem::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(UUIDTest, RandomIdsAreDistinctVersionFourInUpperCaseAndParseInEitherCase) {
  std::set<QSUUID> seen;
  for (int n = 0; n < 1000; ++n) {  // several blocks of drawn bytes
    QSUUID id = QSUUID::random();
    std::string text = id.string();
    EXPECT_EQ(text[14], '4') << text;
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
    EXPECT_TRUE(seen.insert(id).second) << text;
  }
  const QSUUID& id = *seen.begin();
  std::string text = id.string();
  ASSERT_EQ(text.size(), 36u);
  EXPECT_EQ(text[8], '-');
  EXPECT_EQ(text.find_first_of("abcdef"), std::string::npos);
  EXPECT_EQ(QSUUID::parse(text), id);
  for (auto& c : text) c = static_cast<char>(std::tolower(c));
  EXPECT_EQ(QSUUID::parse(text), id);
  for (std::string bad : {"E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5G",
                          "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0", "E621E1F8-C36C-495A-93FC0-C247A3E6E5F"})
    EXPECT_FALSE(QSUUID::parse(bad)) << bad;
}

TEST(UUIDTest, AForkedChildDoesNotRepeatItsParentsIds) {
  QSUUID::random();  // the parent has bytes in hand
  std::string child = testing::outputOfForkedChild([] {
    auto bytes = QSUUID::random().bytes();
    [[maybe_unused]] auto written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
  });
  auto parent = QSUUID::random().bytes();
  ASSERT_EQ(child.size(), 16u);
  EXPECT_NE(std::string(parent.begin(), parent.end()), child);
}

// A TCP listener on `address` (IPv4 or IPv6 text) at `port`, 0 for one the system picks; none
// when the address cannot take it.
std::optional<asio::ip::tcp::acceptor> listenOn(asio::io_context& io, const std::string& address, int port) {
  asio::ip::tcp::endpoint at(asio::ip::make_address(address), static_cast<unsigned short>(port));
  asio::ip::tcp::acceptor acceptor(io);
  asio::error_code error;
  acceptor.open(at.protocol(), error);
  if (!error && at.address().is_v6()) acceptor.set_option(asio::ip::v6_only(true), error);
  if (!error) acceptor.bind(at, error);
  if (!error) acceptor.listen(1, error);
  if (error) return std::nullopt;
  return acceptor;
}

TEST(PortProbeTest, AListenerOnAnyAddressIsNoticed) {
  asio::io_context io;
  auto first = listenOn(io, "127.0.0.1", 0);
  ASSERT_TRUE(first);
  int port = first->local_endpoint().port();
  EXPECT_TRUE(mayBeListenedOn(port));
  first->close();
  EXPECT_FALSE(mayBeListenedOn(port)) << "nobody listens on " << port << " any more";
  for (std::string address : {"0.0.0.0", "::1", "::"}) {
    auto listener = listenOn(io, address, port);
    if (!listener) continue;  // no IPv6 here, or the port went to someone else meanwhile
    EXPECT_TRUE(mayBeListenedOn(port)) << address;
  }
  EXPECT_FALSE(mayBeListenedOn(0));
}

TEST(TimestampTest, BothFormsRoundTripToTheMillisecond) {
  using namespace std::chrono;
  QSTimestamp reference = QSTime::fromReferenceSeconds(0);
  EXPECT_EQ(QSTime::iso8601(reference), "2001-01-01T00:00:00.000Z");

  QSTimestamp t = QSTime::now();
  EXPECT_EQ(QSTime::parseISO8601(QSTime::iso8601(t)), t);
  EXPECT_EQ(QSTime::parseISO8601("2001-01-01T01:00:00+01:00"), reference);
  EXPECT_EQ(QSTime::parseISO8601("2001-01-01T00:00:00Z"), reference);
  for (std::string bad : {"", "2001-13-01T00:00:00Z", "2001-01-01 00:00", "2001-01-01T00:00:00", "yesterday"})
    EXPECT_FALSE(QSTime::parseISO8601(bad)) << bad;
  EXPECT_EQ(QSTime::backupStampUTC(reference + hours{13} + minutes{4} + seconds{5}), "20010101-130405");
}

// (Base64 round trips: the records' bookmarks; SHA-256: the downloader's checksums.)
TEST(EncodingTest, Base64AndFileURLs) {
  EXPECT_FALSE(base64Decode("aGk"));
  EXPECT_EQ(fileURLString("/home/me/My App/ü"), "file:///home/me/My%20App/%C3%BC");
  EXPECT_EQ(pathFromFileURL("file:///home/me/My%20App/%C3%BC"), std::filesystem::path("/home/me/My App/ü"));
  EXPECT_FALSE(pathFromFileURL("http://x/y"));
  EXPECT_FALSE(pathFromFileURL("file://host/tmp"));
  EXPECT_EQ(percentDecode("%c3%BC%41+"), "\xC3\xBC" "A+");
  EXPECT_FALSE(percentDecode("%G1"));
  EXPECT_FALSE(percentDecode("50%"));
}

TEST(FilesTest, AtomicWriteReplacesKeepsModeAndLeavesNoTemporaries) {
  TemporaryFolder dir;
  auto file = dir / "config.json";
  writeFileAtomically(file, "one", 0600);
  EXPECT_EQ(modeOf(file), 0600u);
  ::chmod(file.c_str(), 0640);
  writeFileAtomically(file, "two");
  EXPECT_EQ(readTextFile(file), "two");
  EXPECT_EQ(modeOf(file), 0640u) << "an existing file keeps its mode";
  if (::geteuid() == 0) {  // root writing a user's file must not make it root's
    ASSERT_EQ(::chown(file.c_str(), 4321, 4322), 0);
    writeFileAtomically(file, "three");
    struct stat st {};
    ::stat(file.c_str(), &st);
    EXPECT_EQ(std::pair(st.st_uid, st.st_gid), std::pair(4321u, 4322u));
  }
  EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"config.json"});
  EXPECT_EQ(testing::thrownMessage<QSSystemError>([&] { readFile(dir / "nope"); }),
            "open " + (dir / "nope").string() + ": No such file or directory");
}

// Many files in place or none: a staged file never committed leaves the target as it was; a
// commit keeps an existing file's mode; a process that dies in between leaves a temporary that
// the clean-up of interrupted writes knows, and only that one.
TEST(FilesTest, StagedFilesCommitOrLeaveNothing) {
  TemporaryFolder dir;
  auto a = dir / "a.conf", b = dir / "b.conf";
  writeFileAtomically(a, "old", 0640);
  {
    QSStagedFile dropped(a, "new");
    QSStagedFile fresh(b, "b", 0600);
    EXPECT_EQ(listDirectory(dir.path()).size(), 3u);
    fresh.commit();
  }
  EXPECT_EQ(readTextFile(a), "old");
  EXPECT_EQ(listDirectory(dir.path()).size(), 2u);
  EXPECT_EQ(modeOf(b), 0600u);
  std::vector<QSStagedFile> batch;
  batch.emplace_back(a, "new");
  batch.emplace_back(b, "b2");
  for (auto& file : batch) file.commit();
  EXPECT_EQ(readTextFile(a) + readTextFile(b), "newb2");
  EXPECT_EQ(modeOf(a), 0640u);

  testing::outputOfForkedChild([&] {
    QSStagedFile interrupted(a, "half");
    ::_exit(0);  // no destructor runs, as in a crash
  });
  EXPECT_EQ(listDirectory(dir.path()).size(), 3u);
  EXPECT_EQ(removeInterruptedWrites(dir.path(), [](std::string_view name) { return name == "b.conf"; }), 0);
  EXPECT_EQ(removeInterruptedWrites(dir.path(), [](std::string_view name) { return name == "a.conf"; }), 1);
  EXPECT_EQ(listDirectory(dir.path()).size(), 2u);
  EXPECT_EQ(readTextFile(a), "new");
}

// Filling a new folder never writes through a link someone placed there; a private work folder
// has a fresh unpredictable name and mode 0700.
TEST(FilesTest, PlainWritesRefuseLinksAndTemporaryFoldersArePrivate) {
  testing::TemporaryFolder folder;
  writeFileAtomically(folder / "victim", "keep");
  std::filesystem::create_symlink(folder / "victim", folder / "page.html");
  EXPECT_THROW(writePlainFile(folder / "page.html", "x"), QSSystemError);
  EXPECT_EQ(readFile(folder / "victim"), "keep");

  auto first = createPrivateTemporaryFolder(folder.path(), "preview-");
  auto second = createPrivateTemporaryFolder(folder.path(), "preview-");
  EXPECT_NE(first, second);
  EXPECT_TRUE(first.filename().string().starts_with("preview-"));
  struct stat info {};
  ASSERT_EQ(::lstat(first.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0700u);
}

TEST(PathsTest, DataFolderFollowsXDGAndIsPrivate) {
  IsolatedHome home;
  auto folder = QSPaths::dataFolder();
  EXPECT_EQ(folder, home.home() / ".local/share/Quayside");
  EXPECT_EQ(modeOf(folder), 0700u);
  ::chmod(folder.c_str(), 0755);
  QSPaths::dataFolder();
  EXPECT_EQ(modeOf(folder), 0700u) << "a loosened folder is tightened again";
  ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
  EXPECT_EQ(QSPaths::dataHome(), home.home() / ".local/share");
}

// The app keeps one store for its whole life while the daemon and qs write the same file: a write
// keeps what others wrote since the store was read. (Typed values: the app's sheets; defaults,
// removal and the file's mode: qs settings and qs hosting login, end to end.)
TEST(SettingsTest, WritesKeepOthersKeysAndAnUnreadableFileReadsAsEmpty) {
  IsolatedHome home;
  QSSettings::standard().set("qs.mailSMTPPort", 2525LL);
  auto app = QSSettings::standard();
  app.set("qs.mailEnabled", false);
  QSSettings::standard().set("qs.backupEnabled", true);  // another program, meanwhile
  app.set("qs.autoStartServers", true);
  auto file = QSSettings::standard();
  EXPECT_TRUE(file.boolValue("qs.backupEnabled"));
  EXPECT_TRUE(file.boolValue("qs.autoStartServers"));
  EXPECT_TRUE(file.isStored("qs.mailEnabled"));
  QSSettings::standard().set("qs.backupRetention", 3LL);
  app.remove("qs.mailEnabled");
  EXPECT_EQ(QSSettings::standard().intValue("qs.backupRetention"), 3);
  EXPECT_FALSE(QSSettings::standard().isStored("qs.mailEnabled"));

  writeTextFile(home.home() / ".config/Quayside/settings.json", "garbage");
  EXPECT_EQ(QSSettings::standard().intValue("qs.mailSMTPPort"), 0) << "an unreadable file reads as empty";
}

TEST(TrashTest, MovesItemAndWritesInfoWithUniqueNames) {
  IsolatedHome home;
  auto first = home.home() / "My Site";
  writeTextFile(first / "Package.swift", "// vapor");
  auto trashed = moveToTrash(first);
  EXPECT_FALSE(fileExists(first));
  EXPECT_EQ(readTextFile(trashed / "Package.swift"), "// vapor");
  std::string info = readTextFile(home.home() / ".local/share/Trash/info/My Site.trashinfo");
  EXPECT_TRUE(info.starts_with("[Trash Info]\nPath=" + home.home().string() + "/My%20Site\nDeletionDate="));

  writeTextFile(first / "again", "");
  auto second = moveToTrash(first);
  EXPECT_NE(second, trashed);
  EXPECT_TRUE(fileExists(home.home() / ".local/share/Trash/info/My Site.2.trashinfo"));
}

TEST(ProcessRunnerTest, CapturesOutputStatusAndEnvironment) {
  auto r = runProcess({"/bin/sh", "-c", "echo out; echo err >&2; echo $QS_TEST_VALUE; exit 3"},
                      {.environment = {{"QS_TEST_VALUE", "given"}}});
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_EQ(r.output, "out\ngiven\n");
  EXPECT_EQ(r.errorOutput, "err\n");
  auto echoed = runProcess({"cat"}, {.input = std::string(200000, 'x')});
  EXPECT_EQ(echoed.output.size(), 200000u) << "large input and output do not deadlock";
  EXPECT_EQ(runProcess({"sh", "-c", "kill -9 $$"}).exitStatus, 128 + 9);
}

}  // namespace
}  // namespace qs

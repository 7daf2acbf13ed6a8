// Project and environment commands against a real engine: what qs prints, what it changes on
// disk, and how it names projects.
#include "e2e/e2e_support.h"

#include "core/models/dotenv.h"
#include "core/platform/files.h"

#include <sys/stat.h>

namespace qs::testing {
namespace {

class Projects : public E2ETest {
protected:
  Projects() { startDaemon(); }
  std::filesystem::path configFile() const { return home.home() / ".local/share/Quayside/config.json"; }
};

TEST_F(Projects, AddEnvRenameRemove) {
  auto code = home.home() / "code";
  writeVaporPackage(code / "blog", "blog", "PORT=8123\n");

  // A relative path is taken from the folder qs runs in, not the daemon's.
  auto added = qs({"add", "blog"}, code);
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_EQ(added.out.rfind("Added blog.\n\nblog\n  ID:", 0), 0u) << added.out;

  auto info = json::parse(qsOK({"info", "BLOG", "--json"}));
  EXPECT_EQ(info["name"], "blog");
  EXPECT_EQ(info["path"], "file://" + (code / "blog").string());
  EXPECT_EQ(info["port"], 8123);
  std::string id = info["id"];
  EXPECT_NE(qsOK({"info", id}).find("  Port:            8123\n"), std::string::npos);

  // Environment: written through to .env and to the state file.
  EXPECT_EQ(qsOK({"env", "blog", "set", "LOG_LEVEL", "debug"}), "Set LOG_LEVEL for blog.\n");
  EXPECT_EQ(qsOK({"env", "blog", "set", "GREETING", "hello world"}), "Set GREETING for blog.\n");
  EXPECT_EQ(readTextFile(code / "blog/.env"), "PORT=8123\nLOG_LEVEL=debug\nGREETING=\"hello world\"\n");
  EXPECT_NE(readTextFile(configFile()).find("\"LOG_LEVEL\""), std::string::npos);
  EXPECT_EQ(qsOK({"env", "blog"}), "PORT=8123\nLOG_LEVEL=debug\nGREETING=hello world\n");
  EXPECT_EQ(qsOK({"env", "blog", "get", "GREETING"}), "hello world\n");
  auto listed = json::parse(qsOK({"env", "blog", "list", "--json"}));
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[1]["key"], "LOG_LEVEL");

  auto missing = qs({"env", "blog", "get", "NOPE"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "qs: blog has no variable named 'NOPE'.\n");
  auto invalid = qs({"env", "blog", "set", "BAD KEY", "x"});
  EXPECT_EQ(invalid.status, 1);
  EXPECT_EQ(invalid.err.rfind("qs: ", 0), 0u);

  EXPECT_EQ(qsOK({"env", "blog", "unset", "LOG_LEVEL"}), "Unset LOG_LEVEL for blog.\n");
  EXPECT_EQ(qsOK({"env", "blog", "unset", "LOG_LEVEL"}), "blog had no variable named 'LOG_LEVEL'.\n");
  EXPECT_EQ(readTextFile(code / "blog/.env"), "PORT=8123\nGREETING=\"hello world\"\n");
  EXPECT_EQ(readTextFile(configFile()).find("\"LOG_LEVEL\""), std::string::npos);

  // Rename: the folder moves with it.
  auto renamed = qs({"rename", "blog", "journal"});
  ASSERT_EQ(renamed.status, 0) << renamed.err;
  EXPECT_EQ(renamed.out.rfind("Renamed blog to journal.\n", 0), 0u);
  EXPECT_TRUE(isDirectory(code / "journal"));
  EXPECT_FALSE(fileExists(code / "blog"));
  EXPECT_EQ(json::parse(qsOK({"info", "Journal", "--json"}))["id"], id);

  // A new daemon finds everything as the last one left it.
  daemon->restart();
  auto restored = json::parse(qsOK({"info", "journal", "--json"}));
  EXPECT_EQ(restored["id"], id);
  EXPECT_EQ(restored["path"], "file://" + (code / "journal").string());
  EXPECT_EQ(qsOK({"env", "journal"}), "PORT=8123\nGREETING=hello world\n");

  // Removal asks first; without a terminal it needs -y.
  auto refused = qs({"rm", "journal"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            "qs: Not removing journal without confirmation: standard input isn't a terminal. Pass -y to confirm.\n");
  EXPECT_EQ(qsOK({"rm", "journal", "-y"}), "Removed journal.\n");
  EXPECT_TRUE(isDirectory(code / "journal"));  // the folder stays
  EXPECT_EQ(qsOK({"projects", "--json"}), "[]\n");
  EXPECT_EQ(qsOK({"ls"}), "No projects yet. Add one with 'qs add PATH' or create one with 'qs new NAME'.\n");
}

TEST_F(Projects, RemovalAsksOnATerminal) {
  if (!haveTerminals()) GTEST_SKIP() << "needs util-linux script";
  writeVaporPackage(home.home() / "blog", "blog");
  qsOK({"add", (home.home() / "blog").string()});
  std::string question = "Remove blog (" + (home.home() / "blog").string() +
                         ") from Quayside? Its folder goes to the Trash. [y/N] ";

  auto declined = qsOnTerminal({"rm", "blog", "--trash"}, "n\n");
  EXPECT_EQ(declined.status, 1);
  EXPECT_NE(declined.out.find(question), std::string::npos) << declined.out;
  EXPECT_NE(declined.out.find("qs: Cancelled; nothing was removed."), std::string::npos) << declined.out;
  EXPECT_TRUE(isDirectory(home.home() / "blog"));

  auto confirmed = qsOnTerminal({"rm", "blog", "--trash"}, "y\n");
  EXPECT_EQ(confirmed.status, 0) << confirmed.out;
  EXPECT_NE(confirmed.out.find("Removed blog. Its folder is in the Trash."), std::string::npos) << confirmed.out;
  EXPECT_FALSE(fileExists(home.home() / "blog"));
  EXPECT_TRUE(isDirectory(home.home() / ".local/share/Trash/files/blog"));
}

TEST_F(Projects, NamingProjects) {
  writeVaporPackage(home.home() / "a/shop", "Shop");
  writeVaporPackage(home.home() / "b/shop", "SHOP");
  writeTextFile(home.home() / "c/Package.swift", "// swift-tools-version:5.9\nlet package = Package(name: \"c\")\n");
  auto first = json::parse(qsOK({"add", (home.home() / "a/shop").string(), "--json"}));
  auto second = json::parse(qsOK({"add", (home.home() / "b/shop").string(), "--json"}));

  auto ambiguous = qs({"info", "shop"});
  EXPECT_EQ(ambiguous.status, 1);
  EXPECT_EQ(ambiguous.err, "qs: 'shop' matches 2 projects; name one by its id:\n"
                           "  NAME  ID                                    PATH\n"
                           "  Shop  " + first["id"].get<std::string>() + "  " + (home.home() / "a/shop").string() +
                               "\n"
                               "  SHOP  " + second["id"].get<std::string>() + "  " +
                               (home.home() / "b/shop").string() + "\n");
  EXPECT_EQ(json::parse(qsOK({"info", "SHOP", "--json"}))["id"], second["id"]);  // the exact name wins

  auto unknown = qs({"info", "nothing"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.err, "qs: No project matching 'nothing'.\n");

  auto notVapor = qs({"add", "c"});
  EXPECT_EQ(notVapor.status, 1);
  EXPECT_EQ(notVapor.err, "qs: '" + (home.home() / "c").string() + "' is not a valid Vapor project.\n");

  auto list = qsOK({"projects"});
  EXPECT_EQ(list.rfind("NAME  PORT  ID", 0), 0u) << list;
  EXPECT_NE(list.find("SHOP  8080  " + second["id"].get<std::string>()), std::string::npos) << list;
}

TEST_F(Projects, PinAndStatus) {
  writeVaporPackage(home.home() / "blog", "blog");
  qsOK({"add", (home.home() / "blog").string()});
  EXPECT_EQ(qsOK({"pin", "blog", "6.0.3"}).rfind("Pinned blog to Swift 6.0.3.\n", 0), 0u);
  EXPECT_EQ(readTextFile(home.home() / "blog/.swift-version"), "6.0.3\n");
  EXPECT_EQ(json::parse(qsOK({"info", "blog", "--json"}))["swiftVersion"], "6.0.3");
  EXPECT_EQ(qsOK({"pin", "blog", "--clear"}).rfind("blog now builds with the default toolchain.\n", 0), 0u);
  EXPECT_FALSE(fileExists(home.home() / "blog/.swift-version"));

  auto status = qsOK({"status"});
  EXPECT_EQ(status.rfind("Quayside daemon " QS_VERSION "\n\nPROJECT  SERVER   PORT  PATH\nblog     stopped  8080  ", 0), 0u)
      << status;
  auto full = json::parse(qsOK({"status", "--json"}));
  EXPECT_EQ(full["daemonVersion"], QS_VERSION);
  EXPECT_EQ(full["projects"].size(), 1u);
  EXPECT_EQ(full["network"]["dnsRunning"], true) << "the daemon answers .test names from its start";
}

// Sizes are capped so that no answer grows too large to fetch, and the commands that trim a
// project keep working. (Hand edits and the file's mode: the engine's and writer's tests.)
TEST_F(Projects, EnvSizeLimits) {
  auto folder = home.home() / "blog";
  std::string big(maxValueBytes, 'x');
  std::string typed;
  for (int i = 0; i < 15; ++i) typed += "BIG" + std::to_string(i) + "=" + big.substr(5) + "\n";
  writeVaporPackage(folder, "blog", "DATABASE_URL=dev\nHAND=typed\n" + typed + "A=1\n");
  qsOK({"add", folder.string()});

  // 15 values of 64 KiB: one more would pass 1 MiB.
  struct Case {
    std::vector<std::string> arguments;
    std::string error;
  } refused[] = {
      {{"env", "blog", "set", "HUGE", big + "x"}, "qs: The value of HUGE is longer than 64 KiB, the most a variable can hold.\n"},
      {{"env", "blog", "set", "BIG15", big},
       "qs: The variables would take more than 1 MiB, the most one project can hold: unset or shorten some first.\n"},
      {{"env", "blog", "set", "NAME", "caf\xE9"},
       "qs: The value of NAME is not valid UTF-8 text, which Quayside cannot store unchanged: use UTF-8.\n"},
  };
  for (const auto& c : refused) {
    auto result = qs(c.arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, c.error);
  }
  EXPECT_EQ(qsOK({"env", "blog", "unset", "BIG0"}), "Unset BIG0 for blog.\n");
  EXPECT_EQ(qsOK({"env", "blog", "set", "BIG15", big}), "Set BIG15 for blog.\n");
  EXPECT_EQ(json::parse(qsOK({"projects", "--json"})).size(), 1u);
  daemon->restart();
  EXPECT_EQ(qsOK({"env", "blog", "get", "BIG15"}), big + "\n");
}

// What cannot be kept as it is (a second record for a folder, text that is not UTF-8, a name
// that creation refuses, a folder the Trash cannot take) is refused with the reason.
TEST_F(Projects, RefusesWhatItCannotKeep) {
  auto folder = home.home() / "blog";
  writeVaporPackage(folder, "blog", "PORT=8123\n");
  writeVaporPackage(home.home() / "latin", "latin", "NAME=caf\xE9\n");
  std::filesystem::create_directory_symlink(folder, home.home() / "link");
  qsOK({"add", folder.string()});
  struct Case {
    std::vector<std::string> arguments;
    std::string error;
  } cases[] = {
      {{"add", folder.string() + "/"}, "qs: '" + folder.string() + "' is already in Quayside as blog.\n"},
      {{"add", (home.home() / "link").string()}, "qs: '" + (home.home() / "link").string() + "' is already in Quayside as blog.\n"},
      {{"add", (home.home() / "latin").string()},
       "qs: The .env of " + (home.home() / "latin").string() +
           " is not valid UTF-8 text, which Quayside cannot store unchanged: save it as UTF-8, then add the project again.\n"},
      {{"rename", "blog", ".blog"}, "qs: A project name can\u2019t start with a period.\n"},
      {{"rename", "blog", "two\nlines"}, "qs: A project name can\u2019t contain line breaks, tabs or other control characters.\n"},
  };
  for (const auto& c : cases) {
    auto result = qs(c.arguments);
    EXPECT_EQ(result.status, 1) << c.arguments[1];
    EXPECT_EQ(result.err, c.error);
  }
  EXPECT_EQ(readTextFile(home.home() / "latin/.env"), "NAME=caf\xE9\n");
  EXPECT_EQ(json::parse(qsOK({"projects", "--json"})).size(), 1u);

  // The Trash cannot take the folder: the project stays and qs says why.
  writeTextFile(home.home() / ".local/share/Trash/files", "");
  auto failed = qs({"rm", "blog", "--trash", "-y"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err.rfind("qs: Couldn't move the project folder to the Trash (rename " + folder.string(), 0), 0u);
  EXPECT_TRUE(failed.err.ends_with(": Not a directory); the project was not removed.\n")) << failed.err;
  EXPECT_TRUE(isDirectory(folder));
  EXPECT_EQ(json::parse(qsOK({"projects", "--json"})).size(), 1u);
}

// A project on another file system goes to that file system's own trash folder.
TEST_F(Projects, TrashesAFolderOnAnotherFileSystem) {
  std::filesystem::path shm = "/dev/shm";
  struct stat homeStat {}, shmStat {};
  if (::stat(shm.c_str(), &shmStat) != 0 || ::stat(home.home().c_str(), &homeStat) != 0 ||
      shmStat.st_dev == homeStat.st_dev)
    GTEST_SKIP() << "needs /dev/shm on a file system of its own";
  std::string name = "qs-trash-test-" + std::to_string(::getpid());
  auto folder = shm / name;
  writeVaporPackage(folder, name);
  qsOK({"add", folder.string()});
  EXPECT_EQ(qsOK({"rm", name, "--trash", "-y"}), "Removed " + name + ". Its folder is in the Trash.\n");
  auto trash = shm / (".Trash-" + std::to_string(::getuid()));
  bool trashed = isDirectory(trash / "files" / name);
  std::string info = readFileIfPresent(trash / "info" / (name + ".trashinfo")).value_or("");
  std::filesystem::remove_all(trash / "files" / name);
  std::filesystem::remove(trash / "info" / (name + ".trashinfo"));
  std::filesystem::remove_all(folder);
  EXPECT_TRUE(trashed);
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + name + "\nDeletionDate=", 0), 0u) << info;
}

}  // namespace
}  // namespace qs::testing

// Project and environment commands against a real engine: what qs prints, what it changes on
// disk, and how it names projects.
#include "e2e/e2e_support.h"

#include "core/platform/files.h"

#include <sys/stat.h>

namespace qs::testing {
namespace {

class Projects : public E2ETest {
protected:
  Projects() { startDaemon(); }
};

TEST_F(Projects, AddPinStatusEnvRenameRemove) {
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

  EXPECT_EQ(qsOK({"pin", "blog", "6.0.3"}).rfind("Pinned blog to Swift 6.0.3.\n", 0), 0u);
  EXPECT_EQ(json::parse(qsOK({"info", "blog", "--json"}))["swiftVersion"], "6.0.3");
  EXPECT_EQ(qsOK({"pin", "blog", "--clear"}).rfind("blog now builds with the default toolchain.\n", 0), 0u);
  EXPECT_FALSE(fileExists(code / "blog/.swift-version"));
  auto status = qsOK({"status"});
  EXPECT_TRUE(status.starts_with("Quayside daemon " QS_VERSION
                                 "\n\nPROJECT  SERVER   PORT  WATCH  PATH\nblog     stopped  8123  off    "))
      << status;
  auto full = json::parse(qsOK({"status", "--json"}));
  EXPECT_EQ(full["daemonVersion"], QS_VERSION);
  EXPECT_EQ(full["network"]["dnsRunning"], true) << "the daemon answers .test names from its start";

  // Environment: written through to .env (and kept across the restart below).
  EXPECT_EQ(qsOK({"env", "blog", "set", "LOG_LEVEL", "debug"}), "Set LOG_LEVEL for blog.\n");
  EXPECT_EQ(qsOK({"env", "blog", "set", "GREETING", "hello world"}), "Set GREETING for blog.\n");
  EXPECT_EQ(readTextFile(code / "blog/.env"), "PORT=8123\nLOG_LEVEL=debug\nGREETING=\"hello world\"\n");
  EXPECT_EQ(qsOK({"env", "blog"}), "PORT=8123\nLOG_LEVEL=debug\nGREETING=hello world\n");
  EXPECT_EQ(qsOK({"env", "blog", "get", "GREETING"}), "hello world\n");

  EXPECT_EQ(qsFails({"env", "blog", "get", "NOPE"}), "qs: blog has no variable named 'NOPE'.\n");

  EXPECT_EQ(qsOK({"env", "blog", "unset", "LOG_LEVEL"}), "Unset LOG_LEVEL for blog.\n");
  EXPECT_EQ(qsOK({"env", "blog", "unset", "LOG_LEVEL"}), "blog had no variable named 'LOG_LEVEL'.\n");

  // Rename; a new daemon finds everything as the last one left it.
  EXPECT_EQ(qsOK({"rename", "blog", "journal"}).rfind("Renamed blog to journal.\n", 0), 0u);
  daemon->restart();
  auto restored = json::parse(qsOK({"info", "Journal", "--json"}));
  EXPECT_EQ(restored["id"], id);
  EXPECT_EQ(restored["path"], "file://" + (code / "journal").string());
  EXPECT_EQ(qsOK({"env", "journal"}), "PORT=8123\nGREETING=hello world\n");

  // Removal asks first: on a terminal an "n" keeps everything; without one it needs -y.
  auto declined = qsOnTerminal({"rm", "journal", "--trash"}, "n\n");
  EXPECT_EQ(declined.status, 1);
  EXPECT_NE(declined.out.find("Remove journal (" + (code / "journal").string() +
                              ") from Quayside? Its folder goes to the Trash. [y/N] "),
            std::string::npos)
      << declined.out;
  EXPECT_NE(declined.out.find("qs: Cancelled; nothing was removed."), std::string::npos) << declined.out;
  EXPECT_EQ(qsFails({"rm", "journal"}),
            "qs: Not removing journal without confirmation: standard input isn't a terminal. Pass -y to confirm.\n");
  EXPECT_EQ(qsOK({"rm", "journal", "-y"}), "Removed journal.\n");
  EXPECT_TRUE(isDirectory(code / "journal"));  // the folder stays
  EXPECT_EQ(qsOK({"projects", "--json"}), "[]\n");
  EXPECT_EQ(qsOK({"ls"}), "No projects yet. Add one with 'qs add PATH' or create one with 'qs new NAME'.\n");
}

TEST_F(Projects, NamingProjectsAndRefusingWhatCannotBeKept) {
  writeVaporPackage(home.home() / "a/shop", "Shop");
  writeVaporPackage(home.home() / "b/shop", "SHOP");
  writeTextFile(home.home() / "c/Package.swift", "// swift-tools-version:5.9\nlet package = Package(name: \"c\")\n");
  auto first = json::parse(qsOK({"add", (home.home() / "a/shop").string(), "--json"}));
  auto second = json::parse(qsOK({"add", (home.home() / "b/shop").string(), "--json"}));

  auto row = [&](const std::string& name, const json& added, const std::string& folder) {
    std::string id = added["id"];
    return "  " + name + "  " + id + "  " + (home.home() / folder).string() + "\n";
  };
  EXPECT_EQ(qsFails({"info", "shop"}), "qs: 'shop' matches 2 projects; name one by its id:\n"
                                       "  NAME  ID                                    PATH\n" +
                                           row("Shop", first, "a/shop") + row("SHOP", second, "b/shop"));

  EXPECT_EQ(qsFails({"add", "c"}),
            "qs: '" + (home.home() / "c").string() + "' is not a valid Vapor project.\n");

  auto list = qsOK({"projects"});
  EXPECT_EQ(list.rfind("NAME  PORT  ID", 0), 0u) << list;
  EXPECT_NE(list.find("SHOP  8080  " + second["id"].get<std::string>()), std::string::npos) << list;

  // What cannot be kept as it is (a second record for a folder, text that is not UTF-8, a folder
  // the Trash cannot take) is refused with the reason.
  auto folder = home.home() / "blog";
  writeVaporPackage(folder, "blog", "PORT=8123\n");
  writeVaporPackage(home.home() / "latin", "latin", "NAME=caf\xE9\n");
  std::filesystem::create_directory_symlink(folder, home.home() / "link");
  qsOK({"add", folder.string()});
  auto link = (home.home() / "link").string(), latin = (home.home() / "latin").string();
  EXPECT_EQ(qsFails({"add", folder.string() + "/"}),
            "qs: '" + folder.string() + "' is already in Quayside as blog.\n");
  EXPECT_EQ(qsFails({"add", link}), "qs: '" + link + "' is already in Quayside as blog.\n");
  EXPECT_EQ(qsFails({"add", latin}),
            "qs: The .env of " + latin +
                " is not valid UTF-8 text, which Quayside cannot store unchanged: save it as UTF-8, then "
                "add the project again.\n");

  // The Trash cannot take the folder: the project stays and qs says why.
  writeTextFile(home.home() / ".local/share/Trash/files", "");
  std::string failed = qsFails({"rm", "blog", "--trash", "-y"});
  std::string moving = "qs: Couldn't move the project folder to the Trash (rename " + folder.string();
  EXPECT_TRUE(failed.starts_with(moving)) << failed;
  EXPECT_TRUE(failed.ends_with(": Not a directory); the project was not removed.\n")) << failed;
  EXPECT_TRUE(isDirectory(folder));
  EXPECT_EQ(json::parse(qsOK({"projects", "--json"})).size(), 3u);  // the two shops and blog
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

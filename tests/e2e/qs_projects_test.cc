// Project and environment commands against a real engine: what qs prints, what it changes on
// disk, and how it names projects.
#include "e2e/e2e_support.h"

#include "core/platform/files.h"

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
  EXPECT_EQ(full["network"]["dnsRunning"], false);
}

}  // namespace
}  // namespace qs::testing

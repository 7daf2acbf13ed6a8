#include "core/platform/files.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using testing::EngineFixture;
using testing::failureMessage;
using testing::readTextFile;
using testing::writeTextFile;

TEST(EngineProjectsTest, FailuresCarryTheExactTexts) {
  EngineFixture f;
  auto unknown = QSUUID::random();
  auto p = f.addProject("shop", "PORT=8081\n");
  auto portZero = p, portOver = p;
  portZero.port = 0;
  portOver.port = 65536;
  struct Case {
    QSDaemonCommand command;
    std::string message;
  } cases[] = {
      {cmd::AddProject{"relative/path"}, "'relative/path' is not a valid Vapor project."},
      {cmd::RemoveProject{unknown, false, false}, "No project matching '" + unknown.string() + "'."},
      {cmd::Logs{QSServiceRef(svc::Proxy{}), 10, false}, "Logs are only available for project servers."},
      {cmd::UpdateProject{portZero}, "Port 0 is not a valid port: choose a number from 1 to 65535."},
      {cmd::UpdateProject{portOver}, "Port 65536 is not a valid port: choose a number from 1 to 65535."},
  };
  for (auto& c : cases) EXPECT_EQ(failureMessage(f.handle(c.command)), c.message) << c.command.caseName();
  EXPECT_EQ(f.engine->configuration().projects[0].port, 8081) << "a refused update changes nothing";
}

TEST(EngineProjectsTest, RenameMovesTheFolderOrRefusesWithoutMovingItAndRemoveTrashesIt) {
  EngineFixture f;
  auto blog = f.addProject("blog");
  auto shop = f.addProject("shop");
  std::filesystem::create_directories(f.home.home() / "taken");

  auto unchanged = f.handle(cmd::RenameProject{blog.id, "  \t "});
  auto* same = unchanged.get<res::Project>();
  ASSERT_TRUE(same);
  EXPECT_EQ(same->value, blog);
  EXPECT_EQ(failureMessage(f.handle(cmd::RenameProject{blog.id, "shop"})), "A project named “shop” already exists.");
  EXPECT_EQ(failureMessage(f.handle(cmd::RenameProject{blog.id, "taken"})),
            "A folder named “taken” already exists there.");
  EXPECT_TRUE(fileExists(blog.path)) << "a refused rename moves nothing";

  auto answer = f.handle(cmd::RenameProject{blog.id, " journal "});
  auto* renamed = answer.get<res::Project>();
  ASSERT_TRUE(renamed);
  EXPECT_EQ(renamed->value.name, "journal");
  EXPECT_EQ(renamed->value.path, f.home.home() / "journal");
  EXPECT_FALSE(fileExists(blog.path));

  // A manifest that cannot be rewritten stops the rename before the folder moves.
  auto manifest = renamed->value.path / "Package.swift";
  std::filesystem::remove(manifest);
  std::filesystem::create_directories(manifest);
  EXPECT_EQ(failureMessage(f.handle(cmd::RenameProject{blog.id, "diary"})),
            "Couldn't rename the package in Package.swift: read " + manifest.string() + ": Is a directory");
  EXPECT_TRUE(fileExists(renamed->value.path));
  EXPECT_EQ(f.engine->configuration().projects[0].name, "journal");

  ASSERT_TRUE(f.handle(cmd::RemoveProject{shop.id, false, true}).is<res::Ok>());
  EXPECT_FALSE(fileExists(shop.path));
  EXPECT_TRUE(fileExists(f.home.home() / ".local/share/Trash/files/shop/Package.swift"));
  std::filesystem::remove_all(renamed->value.path);  // nothing left to trash: removed anyway
  ASSERT_TRUE(f.handle(cmd::RemoveProject{blog.id, false, true}).is<res::Ok>());
  EXPECT_TRUE(f.engine->configuration().projects.empty());
}

TEST(EngineProjectsTest, PinAndAutoStartChangeTheirFieldAndKeepAConcurrentEnvironmentEdit) {
  EngineFixture f;
  auto p = f.addProject("blog", "PORT=8080\n");
  ASSERT_TRUE(f.handle(cmd::SetEnvVar{p.id, "ADDED", "meanwhile"}).is<res::Ok>());
  ASSERT_TRUE(f.handle(cmd::PinSwiftVersion{p.id, "6.0.3"}).is<res::Project>());
  auto answer = f.handle(cmd::SetAutoStart{p.id, true});
  ASSERT_TRUE(answer.is<res::Project>());
  auto stored = answer.get<res::Project>()->value;
  EXPECT_EQ(stored.swiftVersion, "6.0.3");
  EXPECT_TRUE(stored.runsServerAtLogin());
  EXPECT_EQ(stored.environmentVariables.size(), 2u) << "the edit made after the client read the record is kept";
  EXPECT_EQ(failureMessage(f.handle(cmd::PinSwiftVersion{p.id, "latest"})),
            "'latest' isn't a Swift version; give one like 6.0 or 6.0.3.");
}

TEST(EngineEnvironmentTest, SetTakesTheEnabledVariableAndKeepsKeysTypedIntoTheFile) {
  EngineFixture f;
  auto p = f.addProject("blog", "# DATABASE_URL=prod\nDATABASE_URL=local\n# DEBUG=true\n");
  auto env = p.path / ".env";
  ASSERT_TRUE(f.handle(cmd::SetEnvVar{p.id, "DATABASE_URL", "dev"}).is<res::Ok>());
  ASSERT_TRUE(f.handle(cmd::SetEnvVar{p.id, "DEBUG", "false"}).is<res::Ok>());  // only a disabled one: enabled
  EXPECT_EQ(readTextFile(env), "# DATABASE_URL=prod\nDATABASE_URL=dev\nDEBUG=false\n");

  // Keys added by hand between two edits stay, and from then on are the project's.
  writeTextFile(env, readTextFile(env) + "# Typed by hand\nHAND=typed\n# OFF=1\n");
  ASSERT_TRUE(f.handle(cmd::SetEnvVar{p.id, "A", "1"}).is<res::Ok>());
  ASSERT_TRUE(f.handle(cmd::UnsetEnvVar{p.id, "HAND"}).is<res::Ok>());
  writeTextFile(env, readTextFile(env) + "LATE=1\n");
  p = f.engine->configuration().projects[0];
  p.port = 9000;  // an update from a client that never saw LATE
  ASSERT_TRUE(f.handle(cmd::UpdateProject{p}).is<res::Project>());
  EXPECT_EQ(readTextFile(env), "# DATABASE_URL=prod\nDATABASE_URL=dev\nDEBUG=false\n# Typed by hand\n# OFF=1\nA=1\nLATE=1\n");
  std::vector<std::string> keys;
  auto reloaded = f.makeEngine();
  for (const auto& v : reloaded->configuration().projects[0].environmentVariables) keys.push_back(v.key);
  EXPECT_EQ(keys, (std::vector<std::string>{"DATABASE_URL", "DATABASE_URL", "DEBUG", "OFF", "A", "LATE"}));

  // What cannot be kept unchanged is refused, and the file is left as the user made it.
  writeTextFile(env, readTextFile(env) + "NAME=caf\xE9\n");
  EXPECT_EQ(failureMessage(f.handle(cmd::SetEnvVar{p.id, "A", "2"})),
            "The .env of blog was edited by hand, and Quayside cannot keep what was added: The value of NAME is not "
            "valid UTF-8 text, which Quayside cannot store unchanged: use UTF-8.");
  EXPECT_TRUE(readTextFile(env).ends_with("A=1\nLATE=1\nNAME=caf\xE9\n"));
}

}  // namespace
}  // namespace qs

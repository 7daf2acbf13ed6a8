#include "core/platform/xdg_applications.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace qs {
namespace {

using testing::IsolatedHome;
using testing::ScopedEnvironment;
using testing::TemporaryFolder;
using testing::writeTextFile;
using Words = std::vector<std::string>;

void writeProgram(const std::filesystem::path& path) {
  writeTextFile(path, "#!/bin/sh\n");
  ::chmod(path.c_str(), 0755);
}

TEST(XdgApplicationsTest, ExecIsSplitAndItsFieldCodesExpanded) {
  EXPECT_EQ(QSXdgApplications::splitExec(R"("/opt/My Editor/edit" --new-window "a \"b\" \$c \\d")"),
            (Words{"/opt/My Editor/edit", "--new-window", R"(a "b" $c \d)"}));
  EXPECT_EQ(QSXdgApplications::splitExec("edit \"open"), std::nullopt);

  QSXdgApplications::QSDesktopEntryFile entry{.path = "/apps/edit.desktop", .name = "Edit", .icon = "edit"};
  entry.exec = "edit %i --name=%c --from %k %F --percent 100%% %d";
  EXPECT_EQ(QSXdgApplications::commandLine(entry, {"/p/one", "/p/two"}),
            (Words{"edit", "--icon", "edit", "--name=Edit", "--from", "/apps/edit.desktop", "/p/one", "/p/two",
                   "--percent", "100%"}));
  entry.exec = "edit --file=%u";
  EXPECT_EQ(QSXdgApplications::commandLine(entry, {"/p/one", "/p/two"}), (Words{"edit", "--file=/p/one"}));
  entry.exec = "edit %U";
  EXPECT_EQ(QSXdgApplications::commandLine(entry, {}), (Words{"edit"}));
  // Without a file code the folder is still handed over.
  entry.exec = "edit --wait";
  EXPECT_EQ(QSXdgApplications::commandLine(entry, {"/p/one"}), (Words{"edit", "--wait", "/p/one"}));
  entry.exec = "";
  EXPECT_EQ(QSXdgApplications::commandLine(entry, {"/p/one"}), std::nullopt);
}

// Only an entry whose programs exist counts; the earliest folder's entry decides, so a Hidden
// entry of the user's removes the system's.
TEST(XdgApplicationsTest, InstalledEntriesNeedTheirProgramsAndRespectHiding) {
  IsolatedHome home;
  TemporaryFolder system, bin;
  ScopedEnvironment env({{"XDG_DATA_DIRS", system.path().string()}, {"PATH", bin.path().string()}});
  auto user = home.home() / ".local/share/applications";

  writeTextFile(system / "applications/code.desktop",
                "[Desktop Action new]\nExec=wrong\n[Desktop Entry]\nType=Application\nName=Code\\sOSS\nExec=code %F\n");
  EXPECT_EQ(QSXdgApplications::findInstalled("code.desktop"), std::nullopt);  // no `code` on PATH
  writeProgram(bin / "code");
  auto found = QSXdgApplications::findInstalled("code.desktop");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->name, "Code OSS");
  EXPECT_EQ(found->exec, "code %F");

  writeTextFile(system / "applications/tried.desktop",
                "[Desktop Entry]\nType=Application\nTryExec=/nonexistent/tried\nExec=code\n");
  EXPECT_EQ(QSXdgApplications::findInstalled("tried.desktop"), std::nullopt);
  writeTextFile(system / "applications/relative.desktop", "[Desktop Entry]\nType=Application\nExec=./code\n");
  EXPECT_EQ(QSXdgApplications::findInstalled("relative.desktop"), std::nullopt);

  writeTextFile(user / "code.desktop", "[Desktop Entry]\nType=Application\nHidden=true\nExec=code\n");
  EXPECT_EQ(QSXdgApplications::findInstalled("code.desktop"), std::nullopt);
  writeTextFile(user / "code.desktop", "[Desktop Entry]\nType=Application\nExec=\"" + (bin / "code").string() + "\" --user\n");
  ASSERT_TRUE(QSXdgApplications::findInstalled("code.desktop"));
  EXPECT_EQ(QSXdgApplications::findInstalled("code.desktop")->path, user / "code.desktop");
}

}  // namespace
}  // namespace qs

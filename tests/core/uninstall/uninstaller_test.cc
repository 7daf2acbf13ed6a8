// The uninstaller against a scratch system root with the real install and uninstall scripts,
// the real certutil and stand-in systemctl, nft and update-ca-certificates.
#include "core/daemon/desktop_entries.h"
#include "core/platform/paths.h"
#include "core/routing/ca_trust.h"
#include "core/routing/certificate_service.h"
#include "core/routing/privileged_helper.h"
#include "core/routing/privileged_test_support.h"
#include "core/uninstall/uninstaller.h"

#include <gmock/gmock.h>

#include <map>

namespace qs {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Step = QSUninstaller::StepResult;
}  // namespace

// How gtest shows a result that differs.
void PrintTo(const QSUninstaller::StepResult& step, std::ostream* out) {
  *out << step.step << (step.succeeded ? ": succeeded" : ": failed") << (step.detail ? ": " + *step.detail : "");
}

namespace {

namespace fs = std::filesystem;

// Every folder, file and link below `top` (`tmp` skipped): a file's contents, a link's target.
// NSS databases count by name only: certutil rewrites them whatever it does.
std::map<std::string, std::string> fileTree(const fs::path& top) {
  std::map<std::string, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
    auto relative = it->path().lexically_relative(top).string();
    if (relative == "tmp") it.disable_recursion_pending();
    if (it->is_symlink()) tree[relative] = "-> " + fs::read_symlink(it->path()).string();
    else if (it->is_directory()) tree[relative] = "folder";
    else if (it->is_regular_file()) tree[relative] = relative.find("nssdb/") != std::string::npos ? "" : readTextFile(it->path());
  }
  return tree;
}

// Folders of ours left behind, empty or not.
std::vector<std::string> ourFolders(const fs::path& top) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(top))
    if (entry.is_directory() && entry.path().filename().string().find("uayside") != std::string::npos)
      found.push_back(entry.path().lexically_relative(top).string());
  return found;
}

struct Fixture {
  IsolatedHome home;
  StandInSystem stand;
  fs::path project = home.home() / "Projects/blog";
  fs::path data = home.home() / ".local/share/Quayside";
  fs::path programs = stand.folder.path() / "programs";

  explicit Fixture(bool userHasNSSDatabase = true) {
    writeVaporPackage(project, "blog", "DATABASE_URL=postgres://blog@127.0.0.1:5432/blog\nSECRET=\"a b\"\n");
    if (userHasNSSDatabase) {
      fs::create_directories(home.home() / ".pki/nssdb");
      runProcess({"certutil", "-N", "--empty-password", "-d", "sql:" + (home.home() / ".pki/nssdb").string()});
    }
    // The system's bundle and folders exist before anything is installed.
    writeTextFile(stand.root / "etc/ssl/certs/ca-certificates.crt", "");
    for (auto folder : {"etc/systemd/system", "usr/local/libexec", "usr/local/share/ca-certificates"})
      fs::create_directories(stand.root / folder);
    writeTextFile(programs / "qs", "#!/bin/sh\n");
    writeTextFile(programs / "quaysided", "#!/bin/sh\n");
  }

  QSUninstaller::Places places(std::shared_ptr<QSPrivilegedRunner> runner) const {
    return {.system = stand.system({"/usr/bin"}),
            .runner = std::move(runner),
            .installer = QSDaemonInstaller(stand.tools / "systemctl", stand.root / "run/systemd/system"),
            .home = home.home(),
            .dataDirectory = data,
            .settingsDirectory = home.home() / ".config/Quayside",
            .projectsFolder = home.home() / "Quayside"};
  }

  // Everything Quayside puts on a machine, as its programs put it there.
  void installEverything() const {
    auto runner = std::make_shared<RecordingRunner>();
    QSPrivilegedHelper(stand.system(), runner).enableTestRouting({.http = 1, .https = 7443, .dns = 5300});
    QSCertificateService(data / "ssl").ensureCA();
    QSCATrust(data / "ssl/ca.pem", stand.system({"/usr/bin"}), runner, home.home()).trustCA();
    places(runner).installer.install(programs / "qs", programs / "quaysided", home.home() / ".local/bin", true);
    writeTextFile(QSDesktopEntries::launcherEntry(), "[Desktop Entry]\nName=Quayside\n");
    writeTextFile(QSDesktopEntries::autostartEntry(), "[Desktop Entry]\nName=Quayside\n");
    for (auto icon : {"48x48/apps/app.brindle.Quayside.png", "scalable/apps/app.brindle.Quayside.svg"})
      writeTextFile(home.home() / ".local/share/icons/hicolor" / icon, "icon");
    writeTextFile(data / "config.json", "{\"projects\": [{\"path\": \"" + project.string() + "\"}]}");
    writeTextFile(data / "postgresql/data/PG_VERSION", "15\n");
    fs::create_directory_symlink(project, data / "linked-project");
    writeTextFile(home.home() / ".config/Quayside/settings.json", "{}");
  }
};

const QSUninstaller::Options kEverything{.disableRouting = true, .removeCertificate = true, .removeCLI = true,
                                         .deleteData = true};

// Whether or not the user had an NSS database before: one trusting created goes again.
class UninstallerRoundTrip : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(NSSDatabase, UninstallerRoundTrip, ::testing::Bool());

TEST_P(UninstallerRoundTrip, LeavesTheHomeAndTheSystemAsTheyWereBeforeTheInstall) {
  Fixture f(GetParam());
  auto homeBefore = fileTree(f.home.home());
  auto rootBefore = fileTree(f.stand.root);
  f.installEverything();
  ASSERT_NE(fileTree(f.stand.root), rootBefore);

  std::vector<Step> reported;
  auto results = QSUninstaller(f.places(std::make_shared<RecordingRunner>()))
                     .run(kEverything, [&](const Step& step) { reported.push_back(step); });
  EXPECT_THAT(results, ElementsAre(Step{"Disable .test routing", true, {}}, Step{"Remove HTTPS certificate", true, {}},
                                   Step{"Remove CLI tools and login item", true, {}}, Step{"Delete app data", true, {}}));
  EXPECT_EQ(reported, results);
  EXPECT_EQ(fileTree(f.home.home()), homeBefore);  // the project and its .env byte for byte
  EXPECT_EQ(fileTree(f.stand.root), rootBefore);
  EXPECT_THAT(ourFolders(f.home.home()), ElementsAre());
  EXPECT_THAT(ourFolders(f.stand.root), ElementsAre());
  if (GetParam()) {
    EXPECT_FALSE(runProcess({"certutil", "-L", "-d", "sql:" + (f.home.home() / ".pki/nssdb").string(), "-n",
                             std::string(QSCATrust::nickname)}).succeeded());
  }
  EXPECT_THAT(f.stand.calls("systemctl"), ::testing::Contains("--user disable --now quaysided.service"));
}

TEST(UninstallerTest, EdgeCasesAndNeverDeletingOutsideTheUsersDataFolder) {
  Fixture f;
  QSUninstaller uninstaller(f.places(std::make_shared<RecordingRunner>()));
  // No data folder: nothing to delete, and nothing made on the way (the engines' stop included).
  EXPECT_THAT(uninstaller.run({.deleteData = true}), ElementsAre(Step{"Delete app data", true, {}}));
  EXPECT_FALSE(fs::exists(fs::symlink_status(f.data)));

  // A data folder that is a link: the link goes, the folder it names stays.
  auto elsewhere = f.home.home() / "elsewhere";
  writeTextFile(elsewhere / "config.json", "{}");
  fs::create_directories(f.data.parent_path());
  fs::create_directory_symlink(elsewhere, f.data);
  EXPECT_THAT(uninstaller.run({.deleteData = true}), ElementsAre(Step{"Delete app data", true, {}}));
  EXPECT_FALSE(fs::exists(fs::symlink_status(f.data)));
  EXPECT_EQ(readTextFile(elsewhere / "config.json"), "{}");

  // Where the data folder would be found, and what deleting it would take with it.
  TemporaryFolder work;
  struct InFolder {
    fs::path before = fs::current_path();
    explicit InFolder(const fs::path& folder) { fs::current_path(folder); }
    ~InFolder() { fs::current_path(before); }
  } inWork(work.path());
  writeTextFile(work / "relative-home/.local/share/Quayside/keep", "x");
  writeTextFile(work / "relative-data/Quayside/keep", "x");
  auto home = f.home.home().string();
  writeTextFile(f.data / "config.json", "{}");
  struct Case {
    std::optional<std::string> homeVariable, dataVariable;
    std::string refusal;  // empty: deleted
  };
  const std::string notAbsolute = "that isn't an absolute path, so it would be found from the current folder. Set "
                                  "HOME (or XDG_DATA_HOME) to an absolute folder and try again.";
  for (const auto& c : std::vector<Case>{
           {"relative-home", std::nullopt, notAbsolute},
           {"relative-home", "", notAbsolute},
           {"relative-home", "relative-data", notAbsolute},
           {home, "relative-data", ""},  // the relative one is ignored: ~/.local/share/Quayside goes
           {home, home, "it holds your projects folder " + home + "/Quayside."},
           {home, home + "/.local/share/x/../..", "the path goes through '.' or '..'."},
       }) {
    ScopedEnvironment environment({{"HOME", c.homeVariable}, {"XDG_DATA_HOME", c.dataVariable}});
    auto places = f.places(std::make_shared<RecordingRunner>());
    places.dataDirectory = QSUninstaller::dataDirectory();
    places.projectsFolder = QSPaths::projectsFolder();
    auto results = QSUninstaller(places).run({.deleteData = true});
    ASSERT_EQ(results.size(), 1u);
    if (c.refusal.empty()) {
      EXPECT_TRUE(results[0].succeeded) << results[0].detail.value_or("");
      EXPECT_FALSE(fs::exists(f.data));
    } else {
      EXPECT_FALSE(results[0].succeeded);
      EXPECT_THAT(results[0].detail.value_or(""), AllOf(StartsWith("Won't delete app data at '"), HasSubstr(c.refusal)));
    }
    EXPECT_TRUE(fs::exists(work / "relative-home/.local/share/Quayside/keep"));
    EXPECT_TRUE(fs::exists(work / "relative-data/Quayside/keep"));
    EXPECT_TRUE(fs::exists(f.project / ".env"));
  }

  // A project kept inside the data folder keeps the data folder.
  writeVaporPackage(f.data / "inside", "inside", "A=1\n");
  writeTextFile(f.data / "config.json", "{\"projects\": [{\"path\": \"" + (f.data / "inside").string() + "\"}]}");
  auto results = QSUninstaller(f.places(std::make_shared<RecordingRunner>())).run({.deleteData = true});
  EXPECT_EQ(results.at(0).detail, "Won't delete app data at '" + f.data.string() + "': it holds the project folder " +
                                      (f.data / "inside").string() +
                                      ". Move that elsewhere (or point XDG_DATA_HOME at another folder) and try again.");
  EXPECT_EQ(readTextFile(f.data / "inside/.env"), "A=1\n");
}

}  // namespace
}  // namespace qs

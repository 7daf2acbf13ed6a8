// The Uninstall Quayside sheet in a scratch HOME and system root: the real daemon is shut down (not
// taken over), each step is listed, the project stays byte for byte, and the sheet asks the app to quit.
#include "app/shell/app_delegate.h"
#include "app/views/uninstall_sheet.h"
#include "core/daemon/desktop_entries.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/routing/ca_trust.h"
#include "core/routing/certificate_service.h"
#include "core/routing/privileged_files.h"
#include "core/routing/privileged_helper.h"
#include "core/routing/privileged_test_support.h"
#include "support/app_test_home.h"
#include "support/child_programs.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <map>

using namespace qs;
using namespace qs::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr int kStepsLong = 60000;

QStringList rows(QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

// A machine with Quayside installed: .test routing in the scratch root, the local CA trusted by the
// user's NSS database and the system store, the links and the login item, and a project with its .env.
struct Machine {
  AppTestHome home;
  StandInSystem stand;
  fs::path project = home.vaporProject("blog", "SECRET=\"keep me\"\n");
  fs::path programs = stand.folder.path() / "programs";

  Machine() {
    for (auto folder : {"etc/systemd/system", "usr/local/libexec", "usr/local/share/ca-certificates"})
      fs::create_directories(stand.root / folder);
    writeTextFile(stand.root / "etc/ssl/certs/ca-certificates.crt", "");
    fs::create_directories(home.home() / ".pki/nssdb");
    runProcess({"certutil", "-N", "--empty-password", "-d", "sql:" + (home.home() / ".pki/nssdb").string()});
    writeTextFile(programs / "qs", "#!/bin/sh\n");
    writeTextFile(programs / "quaysided", "#!/bin/sh\n");
    auto runner = std::make_shared<RecordingRunner>();
    QSPrivilegedHelper(stand.system(), runner).enableTestRouting({.http = 1, .https = 7443, .dns = 5300});
    fs::path data = QSPaths::dataFolderPath();
    QSCertificateService(data / "ssl").ensureCA();
    QSCATrust(data / "ssl/ca.pem", stand.system({"/usr/bin"}), runner, home.home()).trustCA();
    installer().install(programs / "qs", programs / "quaysided", home.home() / ".local/bin", true);
    writeTextFile(QSDesktopEntries::autostartEntry(), "[Desktop Entry]\nName=Quayside\n");
  }
  QSDaemonInstaller installer() const {
    return QSDaemonInstaller(stand.tools / "systemctl", stand.root / "run/systemd/system");
  }
  QSUninstaller::Places places(std::shared_ptr<QSPrivilegedRunner> runner) const {
    return {.system = stand.system({"/usr/bin"}),
            .runner = std::move(runner),
            .installer = installer(),
            .home = home.home(),
            .dataDirectory = QSUninstaller::dataDirectory(),
            .settingsDirectory = QSPaths::configFolder(),
            .projectsFolder = QSPaths::projectsFolder()};
  }
};

}  // namespace

class UninstallSheetTest : public QObject {
  Q_OBJECT
private slots:
  void removesEverythingStepByStepAndQuits() {
    Machine m;
    auto projectBefore = treeSnapshot(m.project);
    auto daemon = spawnProgram(m.home, "quaysided");
    QVERIFY(socketServed(m.home));
    QSAppDelegate app(QSSettings::standard(), {.lockWait = 300ms, .lockRetry = 20ms, .reconnectDelay = 20ms});
    app.startUp();
    QTRY_COMPARE_WITH_TIMEOUT(app.mode(), QSAppDelegate::Mode::daemon, kStepsLong);

    QSUninstallSheet sheet(app, m.places(std::make_shared<RecordingRunner>()));
    QCOMPARE(sheet.routingBox()->text(), QString("Disable .test routing (DNS resolver + firewall redirect)"));
    QCOMPARE(sheet.certificateBox()->text(), QString("Remove the local HTTPS certificate"));
    QCOMPARE(sheet.cliBox()->text(), QString("Remove CLI tools and the login item"));
    QCOMPARE(sheet.dataBox()->text(), QString("Delete all local data"));
    QVERIFY(!sheet.dataBox()->isChecked());
    sheet.dataBox()->setChecked(true);
    QSignalSpy quit(&sheet, &QSUninstallSheet::quitRequested);
    sheet.show();
    QTest::mouseClick(sheet.uninstallButton(), Qt::LeftButton);
    QCOMPARE(sheet.statusLabel()->text(), QString("Removing Quayside\u2026"));
    QTRY_VERIFY_WITH_TIMEOUT(sheet.isFinished(), kStepsLong);

    QCOMPARE(rows(sheet.resultsList()), (QStringList{"\u2713 Stop the Quayside daemon", "\u2713 Disable .test routing",
                                                      "\u2713 Remove HTTPS certificate",
                                                      "\u2713 Remove CLI tools and login item",
                                                      "\u2713 Delete app data"}));
    QVERIFY(exitOf(*daemon).has_value());
    // Nobody took the services over when the daemon went.
    QCOMPARE(app.mode(), QSAppDelegate::Mode::stopped);
    QVERIFY(!isListenedOn(m.home.socketPath()));
    // What each step removes is the uninstaller's own test; the data folder shows the ticked box reached it.
    QVERIFY(!fileExists(QSUninstaller::dataDirectory()));
    QVERIFY(treeSnapshot(m.project) == projectBefore);

    QVERIFY(sheet.lastStepLabel()->text().startsWith("Last step: drag <b>Quayside</b> from "));
    QVERIFY(sheet.showInFilesButton()->isVisible());
    QVERIFY(sheet.quitButton()->isVisible());
    QTest::mouseClick(sheet.quitButton(), Qt::LeftButton);
    QCOMPARE(quit.count(), 1);
  }

  // In-process services stop with the app; a refused administrator prompt fails only its step.
  void aRefusedPromptFailsOnlyItsStep() {
    Machine m;
    QSAppDelegate app(QSSettings::standard(), {.lockWait = 0ms});
    app.startUp();
    QTRY_COMPARE_WITH_TIMEOUT(app.mode(), QSAppDelegate::Mode::inProcess, kStepsLong);
    QSUninstallSheet sheet(app, m.places(std::make_shared<RefusingRunner>(true)));
    sheet.certificateBox()->setChecked(false);
    sheet.uninstall();
    QTRY_VERIFY_WITH_TIMEOUT(sheet.isFinished(), kStepsLong);
    QStringList shown = rows(sheet.resultsList());
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown[0].startsWith("\u2717 Disable .test routing\n"), qPrintable(shown[0]));
    QCOMPARE(shown[1], QString("\u2713 Remove CLI tools and login item"));
    QVERIFY(sheet.statusLabel()->text().startsWith("Some steps failed"));
    QCOMPARE(app.mode(), QSAppDelegate::Mode::stopped);
    QVERIFY(!app.ownerLock().isHeld());
    QVERIFY(fileExists(QSUninstaller::dataDirectory()));  // not asked for
  }
};

QTEST_MAIN(UninstallSheetTest)
#include "uninstall_sheet_test.moc"

// Export… and Import… of the Settings window: the texts it reports and the page showing what came in
// (what a file holds and may change: the settings transfer test).
#include "app/shell/app_delegate.h"
#include "app/views/settings_window.h"
#include "core/platform/files.h"
#include "support/app_test_home.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>

using namespace qs;
using namespace qs::testing;

class SettingsTransferWindowTest : public QObject {
  Q_OBJECT
private slots:
  void exportsAndImportsFromTheGeneralPage() {
    AppTestHome home;
    QSAppDelegate app(QSSettings::standard());
    QSSettingsWindow window(app);
    auto file = home.home() / "quayside-settings.json";

    window.exportTo(qstr(file));
    QCOMPARE(window.generalMessageLabel()->text(), QString("Settings exported."));
    QVERIFY(fileExists(file));

    writeTextFile(file, R"({"version": 1, "preferences": {"qs.useDaemon": true}})");
    window.importFrom(qstr(file));
    QCOMPARE(window.generalMessageLabel()->text(), QString("Imported 1 setting. Some changes apply on next launch."));
    QVERIFY2(window.useDaemonBox()->isChecked(), "the page shows what was imported");

    writeTextFile(file, R"({"name": "web", "private": true})");
    window.importFrom(qstr(file));
    QCOMPARE(window.generalMessageLabel()->text(), QString("That file isn't a valid Quayside settings export."));
  }
};

QTEST_MAIN(SettingsTransferWindowTest)
#include "settings_transfer_window_test.moc"

// Export… and Import… of the Settings window: the texts it reports, the hosting API key that a
// file never overwrites, and a foreign file that changes nothing.
#include "app/shell/app_delegate.h"
#include "app/views/settings_window.h"
#include "core/platform/files.h"
#include "support/app_test_home.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>

#include <nlohmann/json.hpp>

using namespace qs;
using namespace qs::testing;

class SettingsTransferWindowTest : public QObject {
  Q_OBJECT
private slots:
  void exportsAndImportsFromTheGeneralPage() {
    AppTestHome home;
    QSSettings::standard().set("qs.publishAPIKey", "mine");
    QSAppDelegate app(QSSettings::standard());
    QSSettingsWindow window(app);
    auto file = home.home() / "quayside-settings.json";

    window.exportTo(qstr(file));
    QCOMPARE(window.generalMessageLabel()->text(), QString("Settings exported."));
    auto exported = nlohmann::json::parse(readTextFile(file));
    QCOMPARE(exported["version"].get<int>(), 1);
    QVERIFY(!exported["preferences"].contains("qs.publishAPIKey"));
    QCOMPARE(exported["preferences"]["qs.mailEnabled"].get<bool>(), false);

    writeTextFile(file, R"({"version": 1, "preferences": {"qs.publishAPIKey": "theirs", "qs.useDaemon": true}})");
    window.importFrom(qstr(file));
    QCOMPARE(window.generalMessageLabel()->text(), QString("Imported 1 setting. Some changes apply on next launch."));
    QVERIFY2(window.useDaemonBox()->isChecked(), "the page shows what was imported");
    QCOMPARE(QSSettings::standard().stringValue("qs.publishAPIKey"), std::string("mine"));

    std::string before = readTextFile(home.home() / ".config/Quayside/settings.json");
    writeTextFile(file, R"({"name": "web", "private": true})");
    window.importFrom(qstr(file));
    QCOMPARE(window.generalMessageLabel()->text(), QString("That file isn't a valid Quayside settings export."));
    QCOMPARE(readTextFile(home.home() / ".config/Quayside/settings.json"), before);
  }
};

QTEST_MAIN(SettingsTransferWindowTest)
#include "settings_transfer_window_test.moc"

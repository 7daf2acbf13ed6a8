// The Welcome window against the services this process runs and the machine as it is (the test
// toolchain as the only Swift), and the help guide's pages.
#include "app/shell/app_delegate.h"
#include "app/viewmodels/app_view_model.h"
#include "app/views/help_window.h"
#include "app/views/main_window.h"
#include "app/views/onboarding_window.h"
#include "core/databases/engine_inventory.h"
#include "support/app_test_home.h"

#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

using namespace qs;
using namespace qs::testing;
using namespace std::chrono_literals;

class OnboardingTest : public QObject {
  Q_OBJECT
private slots:
  void rowsShowWhatThisComputerHasAndHelpPages() {
    AppTestHome home;
    QSAppDelegate app(QSSettings::standard(), {.lockWait = 0ms});
    QSAppDelegate::registerDefaults(app.settings());
    QVERIFY(QSOnboardingWindow::isDue(app.settings()));
    QSMainWindow window(app);
    QSOnboardingWindow* welcome = window.showOnboarding();
    QVERIFY(!welcome->isReady(QSOnboardingWindow::routing));  // not started yet
    QVERIFY(welcome->detailLabel(QSOnboardingWindow::routing)->text().startsWith("Waiting"));
    app.startUp();
    QTRY_VERIFY_WITH_TIMEOUT(welcome->isReady(QSOnboardingWindow::services), kLong);
    QVERIFY(welcome->detailLabel(QSOnboardingWindow::services)->text().startsWith("Quayside runs them itself"));

    // The test toolchain is installed; .test routing is off in a fresh home, and its action shows.
    QVERIFY(welcome->isReady(QSOnboardingWindow::swift));
    QVERIFY2(welcome->detailLabel(QSOnboardingWindow::swift)->text().contains("6.0.3"),
             qPrintable(welcome->detailLabel(QSOnboardingWindow::swift)->text()));
    QVERIFY(!welcome->isReady(QSOnboardingWindow::routing));
    QCOMPARE(welcome->actionButton(QSOnboardingWindow::routing)->text(), QString("Enable .test Routing…"));
    QVERIFY(welcome->actionButton(QSOnboardingWindow::routing)->isVisibleTo(welcome));
    bool anyEngine = false;
    for (const auto& l : QSEngineInventory::listings())
      anyEngine |= l.status == QSServiceStatus::installed || l.status == QSServiceStatus::running;
    QCOMPARE(welcome->isReady(QSOnboardingWindow::engines), anyEngine);

    // The engines' action leads to the Services page.
    QSignalSpy pages(&window, &QSMainWindow::settingsPageRequested);
    QTest::mouseClick(welcome->actionButton(QSOnboardingWindow::engines), Qt::LeftButton);
    QCOMPARE(pages.count(), 1);
    QCOMPARE(pages.front().front().toString(), QString("Services"));

    // The help pages come from the resources.
    window.menuBar()->findChildren<QMenu*>().front()->actions().at(1)->trigger();
    auto* guide = window.findChild<QSHelpWindow*>();
    QVERIFY(guide && guide->isVisible());
    QCOMPARE(guide->pageList()->count(), 6);
    for (int row = 0; row < guide->pageList()->count(); ++row) {
      guide->pageList()->setCurrentRow(row);
      QString text = guide->browser()->toPlainText();
      QVERIFY2(text.startsWith(guide->pageList()->item(row)->text().remove("The ").remove('.').section(' ', 0, 0),
                               Qt::CaseInsensitive) || text.contains("qs "),
               qPrintable(text.left(80)));
      QVERIFY2(!text.contains("missing from the app"), qPrintable(text.left(80)));
    }

    QTest::mouseClick(welcome->doneButton(), Qt::LeftButton);
    QVERIFY(!QSOnboardingWindow::isDue(app.settings()));
    QVERIFY(QSSettings::standard().boolValue("qs.onboardingCompleted"));
    bool done = false;
    app.shutdown([&] { done = true; });
    QTRY_VERIFY_WITH_TIMEOUT(done, kLong);
  }
};

QTEST_MAIN(OnboardingTest)
#include "onboarding_test.moc"

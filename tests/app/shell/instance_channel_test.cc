// One app per user: a second launch hands its files to the first through a socket that only
// the user can reach, and the first opens them (the real app's hand-off: the ownership test).
#include "app/shell/instance_channel.h"
#include "support/another_user.h"
#include "support/app_test_home.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

#include <future>

using namespace qs;
using namespace qs::testing;

namespace {

mode_t modeOf(const QString& path) {
  struct stat st {};
  ::stat(path.toLocal8Bit().constData(), &st);
  return st.st_mode & 07777;
}

}  // namespace

class InstanceChannelTest : public QObject {
  Q_OBJECT
private slots:
  void theFirstInstanceServesAPrivateSocketAndTakesOthersFiles() {
    AppTestHome home;
    QCOMPARE(QSInstanceChannel::socketPath(), qstr(home.home() / "run/quayside/app.socket"));
    // A socket left by a crashed instance is replaced.
    std::filesystem::create_directories(home.home() / "run/quayside");
    writeTextFile(home.home() / "run/quayside/app.socket", "");
    QVERIFY(!QSInstanceChannel::handOff({"/srv/blog"}, 2000));  // nobody answers, no lock held: at once
    QSInstanceChannel first;
    QVERIFY2(first.becomePrimary(), qPrintable(first.error()));
    QCOMPARE(modeOf(QSInstanceChannel::socketPath()), mode_t(0600));
    QCOMPARE(modeOf(qstr(home.home() / "run/quayside")), mode_t(0700));
    if (canRunAsAnotherUser()) {
      std::string path = QSInstanceChannel::socketPath().toStdString();
      auto probe = runPythonAsAnotherAccount("import socket\nsocket.socket(socket.AF_UNIX).connect('" + path + "')");
      QVERIFY2(probe.errorOutput.find("PermissionError") != std::string::npos, probe.errorOutput.c_str());
    }

    QSInstanceChannel second;
    QVERIFY(!second.becomePrimary());
    QCOMPARE(second.error(), QString("Another Quayside window is already open."));

    QSignalSpy received(&first, &QSInstanceChannel::filesReceived);
    QDir::setCurrent(qstr(home.home()));
    auto handed = std::async(std::launch::async, [] { return QSInstanceChannel::handOff({"shop.brp", "/srv/blog"}); });
    QVERIFY(QTest::qWaitFor([&] { return handed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, kLong));
    QVERIFY(handed.get());
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.front().front().toStringList(), (QStringList{qstr(home.home() / "shop.brp"), "/srv/blog"}));
  }
};

QTEST_GUILESS_MAIN(InstanceChannelTest)
#include "instance_channel_test.moc"

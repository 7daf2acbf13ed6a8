// The request log's merge of console request lines with the proxy's reports, on a clock the
// test sets.
#include "app/viewmodels/request_log_merger.h"

#include <QTest>

using namespace qs;
using namespace std::chrono_literals;

namespace {

const QSTimestamp t0 = QSTimestamp(std::chrono::milliseconds(1'800'000'000'000));

QSLogEntry entry(QSLogSource source, const std::string& path, QSTimestamp at, int status = 0,
                 QSHTTPMethod method = QSHTTPMethod::get) {
  QSLogEntry e;
  e.source = source;
  e.path = path;
  e.timestamp = at;
  e.statusCode = status;
  e.method = method;
  if (source == QSLogSource::proxy) e.duration = 0.012, e.responseSize = 13;
  return e;
}

}  // namespace

class RequestLogMergerTest : public QObject {
  Q_OBJECT
private slots:
  void proxyFirstThenConsoleHalfASecondLaterIsOneEntry() {
    QSRequestLogMerger log;
    log.addProxyEntry(entry(QSLogSource::proxy, "/hello", t0, 200), t0);
    QVERIFY(!log.addConsoleEntry(entry(QSLogSource::console, "/hello", t0 + 500ms), t0 + 500ms));
    QCOMPARE(log.entries().size(), 1u);
    QCOMPARE(log.entries()[0].source, std::optional(QSLogSource::proxy));
  }

  void consoleFirstIsReplacedInPlaceByTheProxyEntry() {
    QSRequestLogMerger log;
    log.addConsoleEntry(entry(QSLogSource::console, "/first", t0), t0);
    log.addConsoleEntry(entry(QSLogSource::console, "/hello", t0), t0);
    log.addConsoleEntry(entry(QSLogSource::console, "/last", t0), t0);
    log.addProxyEntry(entry(QSLogSource::proxy, "/hello", t0 + 1s, 200), t0 + 1s);
    QCOMPARE(log.entries().size(), 3u);
    QCOMPARE(log.entries()[1].path, std::string("/hello"));
    QCOMPARE(log.entries()[1].statusCode, 200);
    QCOMPARE(log.entries()[1].source, std::optional(QSLogSource::proxy));
  }

  // Outside the window, different methods, a console line that has its own status: no merge.
  void entriesThatMustStaySeparate_data() {
    QTest::addColumn<int>("consoleStatus");
    QTest::addColumn<int>("proxyDelayMs");
    QTest::addColumn<int>("proxyMethod");
    QTest::newRow("three seconds apart") << 0 << 3000 << int(QSHTTPMethod::get);
    QTest::newRow("console line carries a status") << 200 << 100 << int(QSHTTPMethod::get);
    QTest::newRow("other method") << 0 << 100 << int(QSHTTPMethod::post);
  }
  void entriesThatMustStaySeparate() {
    QFETCH(int, consoleStatus);
    QFETCH(int, proxyDelayMs);
    QFETCH(int, proxyMethod);
    QSRequestLogMerger log;
    log.addConsoleEntry(entry(QSLogSource::console, "/hello", t0, consoleStatus), t0);
    auto at = t0 + std::chrono::milliseconds(proxyDelayMs);
    log.addProxyEntry(entry(QSLogSource::proxy, "/hello", at, 201, QSHTTPMethod(proxyMethod)), at);
    QCOMPARE(log.entries().size(), 2u);
    QCOMPARE(log.entries()[0].statusCode, consoleStatus);
  }

  // The console line of a proxied request that came more than the window later is listed.
  void unmatchedProxyEntriesExpire() {
    QSRequestLogMerger log;
    log.addProxyEntry(entry(QSLogSource::proxy, "/hello", t0, 200), t0);
    QVERIFY(log.addConsoleEntry(entry(QSLogSource::console, "/hello", t0 + 2500ms), t0 + 2500ms));
    QCOMPARE(log.entries().size(), 2u);
  }

  // Two proxied requests for one path swallow exactly two console lines, not a third.
  void eachProxyEntrySwallowsOneConsoleLine() {
    QSRequestLogMerger log;
    log.addProxyEntry(entry(QSLogSource::proxy, "/a", t0, 200), t0);
    log.addProxyEntry(entry(QSLogSource::proxy, "/a", t0, 200), t0);
    QVERIFY(!log.addConsoleEntry(entry(QSLogSource::console, "/a", t0), t0));
    QVERIFY(!log.addConsoleEntry(entry(QSLogSource::console, "/a", t0), t0));
    QVERIFY(log.addConsoleEntry(entry(QSLogSource::console, "/a", t0), t0));
    QCOMPARE(log.entries().size(), 3u);
  }

  // Only the newest 50 entries are searched for the console line to replace.
  void proxyLooksBackFiftyEntriesOnly() {
    QSRequestLogMerger log;
    log.addConsoleEntry(entry(QSLogSource::console, "/old", t0), t0);
    for (int i = 0; i < 50; ++i) log.addConsoleEntry(entry(QSLogSource::console, "/x" + std::to_string(i), t0), t0);
    log.addProxyEntry(entry(QSLogSource::proxy, "/old", t0, 200), t0);
    QCOMPARE(log.entries().size(), 52u);
    QCOMPARE(log.entries()[0].statusCode, 0);
  }

  void keepsTheNewestEntriesUpToItsCapacity() {
    QSRequestLogMerger log;
    for (std::size_t i = 0; i < QSRequestLogMerger::capacity + 3; ++i)
      log.addConsoleEntry(entry(QSLogSource::console, "/" + std::to_string(i), t0), t0);
    QCOMPARE(log.entries().size(), QSRequestLogMerger::capacity);
    QCOMPARE(log.entries().front().path, std::string("/3"));
  }
};

QTEST_GUILESS_MAIN(RequestLogMergerTest)
#include "request_log_merger_test.moc"

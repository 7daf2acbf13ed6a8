// The mail box against the real quaysided: new mail shows at once, newest first and unread (window, tray,
// toolbar), older mail as read; delete and clear remove the files; the HTML view fetches, reads, runs nothing.
#include "app/viewmodels/mail_box_model.h"
#include "app/views/mail_box_window.h"
#include "app/views/mail_html_view.h"
#include "app/views/tray_icon.h"
#include "core/platform/files.h"
#include "support/app_window.h"

#include <QAction>
#include <QBuffer>
#include <QComboBox>
#include <QDesktopServices>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <QTreeWidget>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>

using namespace qs;
using namespace qs::testing;

namespace {

// Records the addresses the desktop would have opened.
class OpenedLinks : public QObject {
  Q_OBJECT
public:
  QList<QUrl> urls;
public slots:
  void open(const QUrl& url) { urls.append(url); }
};

// quaysided with its catcher on a free port, and an app (main window and tray icon) that adopted it.
struct Fixture : AppWindow {
  std::unique_ptr<QSTrayIcon> tray;
  int port = 0;

  Fixture() {
    QSSettings settings = QSSettings::standard();
    settings.set("qs.mailEnabled", true);
    settings.set("qs.mailSMTPPort", std::to_string(freeTestPort(PortBand::engine)));
  }
  ~Fixture() { tray.reset(); }

  bool startDaemon() {
    if (!AppWindow::startDaemon()) return false;
    auto status = runQs(home, {"status", "--json"});
    port = nlohmann::json::parse(status.output)["mail"]["port"].get<int>();
    return port > 0;
  }
  bool startApp() {
    if (!start()) return false;
    tray = std::make_unique<QSTrayIcon>(*app);
    return QTest::qWaitFor([&] { return model().mail().has_value(); }, kLong);
  }
  QSMailBoxModel& mail() { return model().mailBox(); }

  // Sends `message` (headers and body, LF line ends) over SMTP with curl, as a shell user would.
  bool send(const std::string& name, std::string message) {
    std::string crlf;
    for (char c : message) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    auto file = home.home() / (name + ".eml");
    writeTextFile(file, crlf);
    auto result = runProcess({"/usr/bin/curl", "-sS", fmt::format("smtp://127.0.0.1:{}", port), "--mail-from",
                              "app@example.com", "--mail-rcpt", "dev@example.com", "-T", file.string()});
    return result.exitStatus == 0;
  }
  bool sendPlain(const std::string& subject) {
    return send(subject, "From: Shop <shop@example.com>\nTo: dev@example.com\nSubject: " + subject +
                             "\n\nHello from " + subject + ".\n");
  }
  std::size_t storedFiles() { return mail().store().list().size(); }
};

QStringList subjects(QTreeWidget* list) {
  QStringList out;
  for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(1);
  return out;
}

QStringList menuTexts(QMenu* menu) {
  QStringList out;
  for (QAction* action : menu->actions()) out << action->text();
  return out;
}

// A PPM file whose header claims 30000 × 30000 pixels: decoding it would take 2.7 GB.
QByteArray hugeImageHeader() { return QByteArray("P6\n30000 30000\n255\n") + QByteArray(64, '\x7f'); }

QByteArray smallPNG(int side) {
  QImage image(side, side, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

}  // namespace

class MailBoxTest : public QObject {
  Q_OBJECT
private slots:
  void newMailArrivesNewestFirstAndUnreadAndDeletesRemoveTheFiles() {
    Fixture f;
    QVERIFY(f.startDaemon());
    QVERIFY(f.sendPlain("Before the app"));
    QVERIFY(f.startApp());
    QSMailBoxWindow* box = f.window->showMailBox();
    // Stored before the app started: listed, read.
    QTRY_COMPARE_WITH_TIMEOUT(subjects(box->list()), QStringList{"Before the app"}, kLong);
    QCOMPARE(f.mail().unreadCount(), 0);
    QVERIFY(box->statusLabel()->text().contains(QString("smtp://127.0.0.1:%1").arg(f.port)));

    QVERIFY(f.sendPlain("Your order"));
    QTRY_COMPARE_WITH_TIMEOUT(box->list()->topLevelItemCount(), 2, kLong);
    QVERIFY(f.sendPlain("Reset your password"));
    QTRY_COMPARE_WITH_TIMEOUT(subjects(box->list()),
                              (QStringList{"Reset your password", "Your order", "Before the app"}), kLong);
    QCOMPARE(f.mail().unreadCount(), 2);
    QCOMPARE(box->windowTitle(), QString("Mail — 2 unread"));
    QCOMPARE(f.tray->toolTip(), QString("Quayside — 2 unread messages"));
    QTRY_VERIFY_WITH_TIMEOUT(menuTexts(f.tray->menu()).contains("Mail — 2 unread"), kLong);
    QCOMPARE(f.window->mailAction()->text(), QString("Mail (2)"));

    // Reading one marks it read everywhere.
    box->list()->setCurrentItem(box->list()->topLevelItem(1));
    QCOMPARE(box->headerLabel()->text().contains("Your order"), true);
    QCOMPARE(box->textView()->toPlainText(), QString("Hello from Your order.\n"));
    QCOMPARE(f.mail().unreadCount(), 1);
    QCOMPARE(f.tray->toolTip(), QString("Quayside — 1 unread message"));
    QCOMPARE(f.window->mailAction()->text(), QString("Mail (1)"));

    // Search and the project filter (no project sent these: "Other").
    box->searchField()->setText("PASSWORD");
    QCOMPARE(subjects(box->list()), QStringList{"Reset your password"});
    box->searchField()->clear();
    box->setProjectFilter("other");
    QCOMPARE(box->list()->topLevelItemCount(), 3);
    f.model().addProject(qstr(f.home.vaporProject("blog")), {});
    QTRY_VERIFY_WITH_TIMEOUT(box->projectFilter()->findData("blog") >= 0, kLong);
    box->setProjectFilter("blog");
    QCOMPARE(box->list()->topLevelItemCount(), 0);

    // Delete removes the selected message's file.
    box->setProjectFilter("");
    QCOMPARE(f.storedFiles(), 3u);
    box->list()->setCurrentItem(box->list()->topLevelItem(1));
    QVERIFY(box->deleteButton()->isEnabled());
    QTest::mouseClick(box->deleteButton(), Qt::LeftButton);
    QCOMPARE(subjects(box->list()), (QStringList{"Reset your password", "Before the app"}));
    QCOMPARE(box->selectedMessage(), std::nullopt);
    QVERIFY(!box->deleteButton()->isEnabled());
    QCOMPARE(f.storedFiles(), 2u);
    // qs reads the same folder.
    QCOMPARE(nlohmann::json::parse(runQs(f.home, {"mail", "--json"}).output).size(), 2u);

    // Clear asks first; Cancel keeps everything.
    QTest::mouseClick(box->clearButton(), Qt::LeftButton);
    auto* ask = box->findChild<QMessageBox*>();
    QVERIFY(ask);
    QVERIFY(ask->text().contains("Delete all 2 messages?"));
    ask->button(QMessageBox::Cancel)->click();
    QCOMPARE(f.storedFiles(), 2u);
    QTest::mouseClick(box->clearButton(), Qt::LeftButton);
    QTRY_VERIFY(box->findChildren<QMessageBox*>().size() == 1);
    ask = box->findChildren<QMessageBox*>().back();
    for (QAbstractButton* button : ask->buttons())
      if (button->text() == "Delete All") button->click();
    QCOMPARE(box->list()->topLevelItemCount(), 0);
    QCOMPARE(f.storedFiles(), 0u);
    QCOMPARE(f.mail().unreadCount(), 0);
    QCOMPARE(f.tray->toolTip(), QString("Quayside"));
    QVERIFY(!box->clearButton()->isEnabled());
  }

  void htmlFetchesNothingReadsNoFileAndRunsNothing() {
    Fixture f;
    QVERIFY(f.startDaemon());
    QVERIFY(f.startApp());
    // A web server the message points at: nobody may connect to it.
    asio::io_context io;
    asio::ip::tcp::acceptor remote(io, {asio::ip::make_address("127.0.0.1"), 0});
    remote.non_blocking(true);
    std::string web = fmt::format("http://127.0.0.1:{}", remote.local_endpoint().port());
    auto secret = f.home.home() / "secret.png";
    QByteArray secretImage = smallPNG(5);
    writeTextFile(secret, secretImage.toStdString());
    std::string html = fmt::format(
        "<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\"{0}/style.css\"><script>document.write('SCRIPT RAN')</script>"
        "</head><body><p>Your receipt</p><img src=\"{0}/pixel.png\"><img src=\"file://{1}\"><img src=\"{1}\">"
        "<img src=\"data:image/png;base64,{2}\"><img src=\"data:image/x-portable-pixmap;base64,{3}\">"
        "<a href=\"javascript:alert(1)\">js</a> <a href=\"https://example.com/receipt\">web</a>"
        "<script type=\"text/javascript\">alert('SCRIPT RAN')",
        web, secret.string(), smallPNG(3).toBase64().toStdString(), hugeImageHeader().toBase64().toStdString());
    QVERIFY(f.send("html", "From: Shop <shop@example.com>\nTo: dev@example.com\nSubject: Receipt\nMIME-Version: 1.0\n"
                           "Content-Type: text/html; charset=utf-8\n\n" + html + "\n"));
    QSMailBoxWindow* box = f.window->showMailBox();
    QTRY_COMPARE_WITH_TIMEOUT(box->list()->topLevelItemCount(), 1, kLong);
    box->list()->setCurrentItem(box->list()->topLevelItem(0));
    QSMailHtmlView* view = box->htmlView();
    QCOMPARE(box->parts()->currentWidget(), view);
    view->grab();  // lays the document out: every resource is asked for

    QString shown = view->toPlainText();
    QVERIFY2(shown.contains("Your receipt") && !shown.contains("SCRIPT RAN"), qPrintable(shown));
    QStringList refused = view->refusedResources();
    for (QString expected : {QString::fromStdString(web + "/style.css"), QString::fromStdString(web + "/pixel.png"),
                             QString::fromStdString("file://" + secret.string())})
      QVERIFY2(refused.contains(expected), qPrintable(expected + " in " + refused.join(", ")));
    QVERIFY2(std::any_of(refused.begin(), refused.end(),
                         [](const QString& u) { return u.startsWith("data:image/x-portable-pixmap"); }),
             qPrintable(refused.join(", ")));
    asio::error_code noConnection;
    remote.accept(noConnection);
    QCOMPARE(noConnection, asio::error_code(asio::error::would_block));
    // The local file is not read: the document holds the placeholder, not its 5 × 5 pixels.
    for (QString url : {QString::fromStdString("file://" + secret.string()), QString::fromStdString(secret.string())}) {
      QImage image = view->document()->resource(QTextDocument::ImageResource, QUrl(url)).value<QImage>();
      QCOMPARE(image.size(), QSize(1, 1));
    }
    // The small inline image is shown.
    QImage inlined = view->document()
                         ->resource(QTextDocument::ImageResource,
                                    QUrl(QString("data:image/png;base64,") + smallPNG(3).toBase64()))
                         .value<QImage>();
    QCOMPARE(inlined.size(), QSize(3, 3));

    // Only web links open, in the browser.
    OpenedLinks opened;
    for (const char* scheme : {"http", "https", "javascript", "file"})
      QDesktopServices::setUrlHandler(scheme, &opened, "open");
    emit view->anchorClicked(QUrl("javascript:alert(1)"));
    emit view->anchorClicked(QUrl::fromLocalFile(qstr(secret)));
    QCOMPARE(opened.urls.size(), 0);
    emit view->anchorClicked(QUrl("https://example.com/receipt"));
    QCOMPARE(opened.urls, QList<QUrl>{QUrl("https://example.com/receipt")});
    for (const char* scheme : {"http", "https", "javascript", "file"}) QDesktopServices::unsetUrlHandler(scheme);
  }
};

QTEST_MAIN(MailBoxTest)
#include "mail_box_test.moc"

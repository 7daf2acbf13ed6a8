#include "app/views/mail_html_view.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QTextDocument>
#include <QUrl>

namespace qs {
namespace {

// Undoes a data: address ("data:image/png;base64,...."); false when it is not one.
bool decodeDataURL(const QUrl& url, QByteArray& payload) {
  QByteArray text = url.toEncoded();
  if (!text.startsWith("data:")) return false;
  qsizetype comma = text.indexOf(',');
  if (comma < 0) return false;
  QByteArray header = text.mid(5, comma - 5);
  QByteArray body = QByteArray::fromPercentEncoding(text.mid(comma + 1));
  payload = header.endsWith(";base64") ? QByteArray::fromBase64(body) : body;
  return true;
}

}  // namespace

QSMailHtmlView::QSMailHtmlView(QWidget* parent) : QTextBrowser(parent) {
  setOpenLinks(false);
  setOpenExternalLinks(false);
  setReadOnly(true);
  connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    if (opensLink(url))
      QDesktopServices::openUrl(url);
    else
      emit linkRefused(url);
  });
}

bool QSMailHtmlView::opensLink(const QUrl& url) {
  QString scheme = url.scheme().toLower();
  return url.isValid() && (scheme == "http" || scheme == "https") && !url.host().isEmpty();
}

QString QSMailHtmlView::withoutScripts(const QString& html) {
  static const QRegularExpression scripts(R"(<script\b[^>]*>.*?(</script\s*>|$))",
                                          QRegularExpression::CaseInsensitiveOption |
                                              QRegularExpression::DotMatchesEverythingOption);
  QString out = html;
  out.remove(scripts);
  return out;
}

void QSMailHtmlView::showMessageHtml(const QString& html) {
  refused_.clear();
  // Resources of the last message stay in the document's cache otherwise.
  document()->clear();
  if (html.size() > maxHtmlBytes) {
    setPlainText(QString("This HTML part is too large to show here (%1 MB); its text is on the Text tab and the whole "
                         "message on the Source tab.")
                     .arg(static_cast<double>(html.size()) / 1e6, 0, 'f', 1));
    return;
  }
  setHtml(withoutScripts(html));
}

QVariant QSMailHtmlView::loadResource(int type, const QUrl& name) {
  if (type == QTextDocument::ImageResource && name.scheme().compare("data", Qt::CaseInsensitive) == 0)
    return inlineImage(name);
  return refuse(type, name);
}

QVariant QSMailHtmlView::inlineImage(const QUrl& name) {
  QByteArray payload;
  if (!decodeDataURL(name, payload) || payload.size() > maxInlineImageBytes)
    return refuse(QTextDocument::ImageResource, name);
  QBuffer buffer(&payload);
  QImageReader reader(&buffer);
  QSize size = reader.size();  // from the header, without decoding the pixels
  if (!size.isValid() || static_cast<qint64>(size.width()) * size.height() > maxInlineImagePixels)
    return refuse(QTextDocument::ImageResource, name);
  if (size.width() > maxShownImageWidth)
    reader.setScaledSize(size.scaled(maxShownImageWidth, size.height(), Qt::KeepAspectRatio));
  QImage image = reader.read();
  if (image.isNull()) return refuse(QTextDocument::ImageResource, name);
  return image;
}

QVariant QSMailHtmlView::refuse(int type, const QUrl& name) {
  QString shown = name.toString();
  refused_.append(shown.size() > 200 ? shown.left(200) + "…" : shown);
  // A value that is not empty: given nothing, the document would try the address itself (a
  // file on this machine, or the data: address again).
  if (type == QTextDocument::ImageResource) {
    QImage blank(1, 1, QImage::Format_ARGB32);
    blank.fill(Qt::transparent);
    return blank;
  }
  if (type == QTextDocument::StyleSheetResource || type == QTextDocument::HtmlResource) return QString("");
  return QByteArray("");
}

}  // namespace qs

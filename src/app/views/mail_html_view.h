// The HTML part of a caught message, shown so that reading it does nothing else: no resource
// is fetched (not from the network, not from this machine's files), no script runs (the text
// engine has none, and script elements are dropped), and a link opens in the browser only when
// it is an http or https address the user clicked. Images the message carries inline as data:
// addresses are shown when they are small enough to decode at once; larger ones are left out.
#pragma once

#include <QStringList>
#include <QTextBrowser>

namespace qs {

class QSMailHtmlView : public QTextBrowser {
  Q_OBJECT
public:
  // An inline image is shown only below both limits; wider ones are scaled to fit.
  static constexpr qsizetype maxInlineImageBytes = 4 * 1024 * 1024;
  static constexpr int maxInlineImagePixels = 4096 * 4096;
  static constexpr int maxShownImageWidth = 1200;
  // A larger HTML part is not laid out (it would hold up the window); the view says so.
  static constexpr qsizetype maxHtmlBytes = 2 * 1024 * 1024;

  explicit QSMailHtmlView(QWidget* parent = nullptr);

  // Shows `html` (of a message); clears what the last one refused.
  void showMessageHtml(const QString& html);
  // The addresses asked for since the last message and not loaded.
  const QStringList& refusedResources() const { return refused_; }
  // Whether clicking a link with this address opens it (in the user's browser).
  static bool opensLink(const QUrl& url);
  // The markup with script and style-sheet links removed, as it is laid out.
  static QString withoutScripts(const QString& html);

signals:
  // A link was clicked that is not opened (javascript:, file:, mailto:, …).
  void linkRefused(const QUrl& url);

protected:
  QVariant loadResource(int type, const QUrl& name) override;

private:
  QVariant inlineImage(const QUrl& name);
  QVariant refuse(int type, const QUrl& name);

  QStringList refused_;
};

}  // namespace qs

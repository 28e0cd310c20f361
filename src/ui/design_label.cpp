#include "ui/design_label.h"

#include <QEvent>
#include <QFontInfo>
#include <QResizeEvent>

namespace pelvaro {
namespace {

// Extra pixels between wrapped lines beyond the font's pixel size.
constexpr int kLineGapPx = 1;
constexpr char16_t kEnSpace = u'\u2002';  // half an em wide

}  // namespace

DesignLabel::DesignLabel(QWidget* parent) : QLabel(parent) { setTextFormat(Qt::RichText); }

void DesignLabel::setPlainText(const QString& text) {
  plain_ = text;
  render();
}

void DesignLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) render();
}

void DesignLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  render();
}

void DesignLabel::render() {
  const int px = QFontInfo(font()).pixelSize();
  if (!wordWrap() || width() <= 0 || height() <= 0) {
    showWith(px, px + kLineGapPx, false);
    return;
  }
  // The smallest font tried keeps three quarters of the design size.
  for (int fontPx = px; fontPx >= px * 3 / 4; --fontPx) {
    for (int pitch : {fontPx + kLineGapPx, fontPx}) {
      showWith(fontPx, pitch, fontPx != px);
      if (heightForWidth(width()) <= height()) return;
    }
  }
}

void DesignLabel::showWith(int fontPx, int pitchPx, bool sizeGiven) {
  QString shown = plain_.toHtmlEscaped();
  // A closing line break ends the last line; it opens no further one.
  if (shown.endsWith('\n')) shown.chop(1);
  shown.replace(' ', QChar(kEnSpace));
  shown.replace('\n', "<br>");
  QString style = "margin: 0; white-space: pre-wrap;";
  if (sizeGiven) style += QString(" font-size: %1px;").arg(fontPx);
  if (wordWrap()) style += QString(" line-height: %1px; -qt-line-height-type: fixed;").arg(pitchPx);
  QLabel::setText(QString("<p style=\"%1\">%2</p>").arg(style, shown));
}

}  // namespace pelvaro

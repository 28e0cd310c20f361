#include "ui/design_label.h"

#include <QEvent>
#include <QFontInfo>

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

void DesignLabel::render() {
  QString shown = plain_.toHtmlEscaped();
  shown.replace(' ', QChar(kEnSpace));
  shown.replace('\n', "<br>");
  QString style = "margin: 0; white-space: pre-wrap;";
  if (wordWrap()) {
    int pitch = QFontInfo(font()).pixelSize() + kLineGapPx;
    style += QString(" line-height: %1px; -qt-line-height-type: fixed;").arg(pitch);
  }
  QLabel::setText(QString("<p style=\"%1\">%2</p>").arg(style, shown));
}

}  // namespace pelvaro

#include "ui/button_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <initializer_list>

#include "platform/window_layout.h"

namespace pelvaro {
namespace {

namespace sw = startup_window;

// The closed outline through the corners, filled with the painter's brush.
void FillOutline(QPainter& p, std::initializer_list<QPointF> corners) {
  QPainterPath outline;
  outline.moveTo(*corners.begin());
  for (auto corner = corners.begin() + 1; corner != corners.end(); ++corner) outline.lineTo(*corner);
  outline.closeSubpath();
  p.drawPath(outline);
}

// Drawn on a 40 x 40 grid and scaled to the requested size.
void DrawSpeaker(QPainter& p) {
  p.setBrush(QColor(0x2e, 0x7d, 0xd2));
  p.setPen(Qt::NoPen);
  FillOutline(p, {{6, 15}, {13, 15}, {22, 7}, {22, 33}, {13, 25}, {6, 25}});
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0x2e, 0x7d, 0xd2), 2.5, Qt::SolidLine, Qt::RoundCap));
  p.drawArc(QRectF(18, 13, 10, 14), -60 * 16, 120 * 16);
  p.drawArc(QRectF(16, 8, 18, 24), -60 * 16, 120 * 16);
}

// A disc across the grid in `fill`; the pen is left white and round-capped, `strokeWidth`
// wide, for the sign drawn on it.
void DrawDisc(QPainter& p, const QColor& fill, qreal strokeWidth) {
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawEllipse(QRectF(4, 4, 32, 32));
  p.setPen(QPen(Qt::white, strokeWidth, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
}

void DrawHelp(QPainter& p) {
  DrawDisc(p, QColor(0x43, 0xa0, 0x47), 4);
  QPainterPath hook;
  hook.moveTo(14, 15);
  hook.cubicTo(14, 8, 26, 8, 26, 15);
  hook.cubicTo(26, 20, 20, 19, 20, 25);
  p.drawPath(hook);
  p.drawPoint(QPointF(20, 31));
}

void DrawPower(QPainter& p) {
  DrawDisc(p, QColor(0xd3, 0x2f, 0x2f), 3.5);
  p.drawArc(QRectF(11, 12, 18, 18), 120 * 16, 300 * 16);
  p.drawLine(QPointF(20, 9), QPointF(20, 20));
}

void DrawOpen(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf5, 0x7c, 0x00));
  p.drawRoundedRect(QRectF(4, 4, 32, 32), 6, 6);
  p.setBrush(Qt::white);
  FillOutline(p, {{20, 9}, {30, 20}, {24, 20}, {24, 31}, {16, 31}, {16, 20}, {10, 20}});
}

void DrawNeutral(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x75, 0x75, 0x75));
  p.drawEllipse(QRectF(10, 10, 20, 20));
}

}  // namespace

QIcon ButtonIcon(std::string_view buttonName, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 40.0, size / 40.0);
  if (buttonName == sw::kSpeakButton) {
    DrawSpeaker(painter);
  } else if (buttonName == sw::kHelpButton) {
    DrawHelp(painter);
  } else if (buttonName == sw::kCloseButton) {
    DrawPower(painter);
  } else if (buttonName == sw::kOpenNewVersion) {
    DrawOpen(painter);
  } else {
    DrawNeutral(painter);
  }
  painter.end();
  return QIcon(pixmap);
}

}  // namespace pelvaro

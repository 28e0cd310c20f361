#include "ui/skin.h"

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>

#ifdef PELVARO_HAS_SKIN
// A resource linked from a static library registers itself only when something refers to it.
static void LoadSkinResource() { Q_INIT_RESOURCE(skin); }
#else
static void LoadSkinResource() {}
#endif

namespace pelvaro {
namespace {

const char* const kSkinPath = ":/skin/pelvaro.qss";

}  // namespace

int ClampSkinHue(int hue) { return std::clamp(hue, -kSkinHueLimit, kSkinHueLimit); }

int ClampSkinValue(int value) { return std::clamp(value, -kSkinValueLimit, kSkinValueLimit); }

QColor AdjustSkinColour(const QColor& colour, int hue, int value) {
  hue = ClampSkinHue(hue);
  value = ClampSkinValue(value);
  if (hue == 0 && value == 0) return colour.toRgb();
  QColor hsv = colour.toHsv();
  int h = hsv.hsvHue();
  if (h >= 0) h = ((h + hue) % 360 + 360) % 360;  // -1: grey has no hue to turn
  int v = hsv.value();
  v = value >= 0 ? v + (255 - v) * value / 100 : v * (100 + value) / 100;
  return QColor::fromHsv(h, hsv.hsvSaturation(), v, hsv.alpha()).toRgb();
}

QString SkinStyleSheet(int hue, int value) {
  LoadSkinResource();
  QFile file(kSkinPath);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QString sheet = QString::fromUtf8(file.readAll());

  static const QRegularExpression kColour("#[0-9a-fA-F]{6}\\b");
  QString adjusted;
  qsizetype last = 0;
  for (auto match = kColour.globalMatch(sheet); match.hasNext();) {
    QRegularExpressionMatch m = match.next();
    adjusted += sheet.mid(last, m.capturedStart() - last);
    adjusted += AdjustSkinColour(QColor(m.captured()), hue, value).name();
    last = m.capturedEnd();
  }
  adjusted += sheet.mid(last);
  return adjusted;
}

bool ApplySkin(int hue, int value) {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (app == nullptr) return false;
  QString sheet = SkinStyleSheet(hue, value);
  if (sheet.isEmpty()) return false;
  app->setStyleSheet(sheet);
  return true;
}

}  // namespace pelvaro

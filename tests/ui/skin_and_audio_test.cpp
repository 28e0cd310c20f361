#include <gtest/gtest.h>

#include <QApplication>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "ui/qt_audio_output.h"
#include "ui/qt_text.h"
#include "ui/skin.h"
#include "ui/ui_test_support.h"

namespace pelvaro {
namespace {

TEST(Skin, ValuesAreClampedToTheEngineRanges) {
  struct Case {
    int in, hue, value;
  };
  const Case cases[] = {{0, 0, 0},    {180, 180, 100},    {181, 180, 100},     {-181, -180, -100},
                        {99, 99, 99}, {-100, -100, -100}, {1000000, 180, 100}, {INT32_MIN, -180, -100}};
  for (const Case& c : cases) {
    EXPECT_EQ(ClampSkinHue(c.in), c.hue) << c.in;
    EXPECT_EQ(ClampSkinValue(c.in), c.value) << c.in;
  }
}

TEST(Skin, ColourAdjustment) {
  const QColor blue("#3060c0");
  EXPECT_EQ(AdjustSkinColour(blue, 0, 0), blue);
  // Out-of-range values act as the limits.
  EXPECT_EQ(AdjustSkinColour(blue, 500, 0), AdjustSkinColour(blue, 180, 0));
  EXPECT_EQ(AdjustSkinColour(blue, 0, -300), AdjustSkinColour(blue, 0, -100));
  EXPECT_EQ(AdjustSkinColour(blue, 0, -100).value(), 0);
  EXPECT_EQ(AdjustSkinColour(blue, 0, 100).value(), 255);
  // A half turn of blue's hue lands on its opposite; a full turn either way returns.
  EXPECT_EQ(AdjustSkinColour(blue, 180, 0).hsvHue(), (blue.hsvHue() + 180) % 360);
  EXPECT_EQ(AdjustSkinColour(blue, -180, 0).hsvHue(), (blue.hsvHue() + 180) % 360);
  // Grey has no hue to turn.
  EXPECT_EQ(AdjustSkinColour(QColor("#808080"), 90, 0), QColor("#808080"));
}

#ifdef PELVARO_HAS_SKIN
TEST(Skin, CarriedSheetIsAppliedAndAdjusted) {
  QString plain = SkinStyleSheet(0, 0);
  ASSERT_FALSE(plain.isEmpty());
  QString dark = SkinStyleSheet(0, -100);
  EXPECT_EQ(dark.count(QRegularExpression("#[0-9a-f]{6}")), plain.count(QRegularExpression("#[0-9a-f]{6}")));
  EXPECT_FALSE(dark.contains("#ffffff"));
  EXPECT_TRUE(dark.contains("#000000"));

  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  QString before = app->styleSheet();
  EXPECT_TRUE(ApplySkin(0, 0));
  EXPECT_EQ(app->styleSheet(), plain);
  app->setStyleSheet(before);
}
#else
TEST(Skin, BuildWithoutSkinKeepsTheStandardLook) {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  QString before = app->styleSheet();
  EXPECT_TRUE(SkinStyleSheet(0, 0).isEmpty());
  EXPECT_FALSE(ApplySkin(0, 0));
  EXPECT_EQ(app->styleSheet(), before);
}
#endif

TEST(QtAudioOutput, MissingFilesFailQuietlyFromAnyThread) {
  QtAudioOutput audio;
  QTemporaryDir dir;
  const Path missing = PathFromQt(dir.filePath("不存在.mp3"));
  EXPECT_FALSE(audio.PlayFile(missing));
  EXPECT_FALSE(audio.PlayFile(Path()));
  EXPECT_FALSE(audio.PlayFile(PathFromQt(dir.path())));  // a folder is no sound file
  bool fromWorker = true;
  test::RunOnWorker([&] { fromWorker = audio.PlayFile(missing); });
  EXPECT_FALSE(fromWorker);
}

}  // namespace
}  // namespace pelvaro

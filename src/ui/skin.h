#pragma once
// The window skin: a style sheet carried inside the program, its colours turned and brightened
// by the two values the caller gives. A build without the skin keeps the standard look.

#include <QColor>
#include <QString>

namespace pelvaro {

inline constexpr int kSkinHueLimit = 180;    // degrees, either way
inline constexpr int kSkinValueLimit = 100;  // percent, darker or brighter

int ClampSkinHue(int hue);
int ClampSkinValue(int value);

// colour with its hue turned by hue degrees and its brightness moved value percent of the way
// towards white (value > 0) or black (value < 0). Grey stays grey. Both values are clamped.
QColor AdjustSkinColour(const QColor& colour, int hue, int value);

// The carried style sheet with every #rrggbb colour adjusted; empty when the build has none.
QString SkinStyleSheet(int hue, int value);

// Applies the skin to every window of the application. False, and nothing changes, when the
// build carries no skin.
bool ApplySkin(int hue, int value);

}  // namespace pelvaro

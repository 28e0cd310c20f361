#pragma once
// Turns a window layout table into Qt widgets. Every control becomes a child object whose
// objectName is the control's name, placed at its design coordinates: relative to the client
// area, or to the top-left corner of its parent tab control for controls on a page.
//
// The design size is the smallest a window gets while the screen has room for it; a window
// given more room lets the controls named in its anchors grow or follow the right and bottom
// edges, and every other control keeps its place. On a screen smaller than the design the
// window fits the screen's available area and its content scrolls.

#include <QMainWindow>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/window_layout.h"

class QStatusBar;
class QLabel;

namespace pelvaro {

// How a control answers a larger parent (the client area, or its tab control).
enum Anchor : std::uint8_t {
  kKeepPlace = 0,
  kStretchRight = 1,  // the right edge follows the parent's right edge
  kStretchDown = 2,   // the bottom edge follows the parent's bottom edge
  kFollowRight = 4,   // moves with the parent's right edge, same width
  kFollowBottom = 8,  // moves with the parent's bottom edge, same height
};

struct ControlAnchor {
  std::string_view name;
  std::uint8_t anchor;
};

// The design rectangle of a control whose parent is `grow` larger than designed (never less).
QRect AnchoredRect(const QRect& design, std::uint8_t anchor, QSize grow);

// The client size for a design-time outer size: the outer size less a typical frame.
QSize ClientSizeFor(const WindowSpec& layout);
// The frame a window has beyond its client area, as estimated before any window is shown.
QSize TypicalFrame();
// The frame of window: its own when it is on screen, else that of another window on screen
// (the window system frames them alike), else the typical one.
QSize WindowFrame(const QWidget& window);

// Where a window goes on a screen: `wanted` is its frame's top-left corner and its client
// size. The size is kept within the available area (less the frame) and not below `minimum`
// unless the area itself is smaller; the frame is moved inside the area.
QRect FitOnScreen(const QRect& wanted, const QSize& minimum, const QRect& available, const QSize& frame);

// Builds every control of layout into window (a scrolling client area for the controls, the
// status bar, timers), sets the design caption, the minimum and initial size for the screen
// and the design position. Timers are created stopped. A window without anchors keeps its
// design size as its largest.
void BuildWindow(QMainWindow& window, const WindowSpec& layout, std::span<const ControlAnchor> anchors = {});

// The size the window was designed for and the smallest it gets on a screen with room for it.
QSize DesignClientSize(const QWidget& window);

// Panel `index` of a status bar built above, or nullptr.
QLabel* StatusPanel(QStatusBar* bar, int index);
// The object name that makes a label of a status bar its panel `index`.
QString StatusPanelName(int index);

}  // namespace pelvaro

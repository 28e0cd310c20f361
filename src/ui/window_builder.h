#pragma once
// Turns a window layout table into Qt widgets. Every control becomes a child object whose
// objectName is the control's name, placed at its design coordinates: relative to the client
// area, or to the top-left corner of its parent tab control for controls on a page.

#include <QMainWindow>
#include <QSize>

#include "platform/window_layout.h"

class QStatusBar;
class QLabel;

namespace pelvaro {

// The client size for a design-time outer size: the outer size less a typical frame.
QSize ClientSizeFor(const WindowSpec& layout);

// Builds every control of layout into window (a central widget for the controls, the status bar,
// timers), sets the design caption, size and position. Timers are created stopped.
void BuildWindow(QMainWindow& window, const WindowSpec& layout);

// Panel `index` of a status bar built above, or nullptr.
QLabel* StatusPanel(QStatusBar* bar, int index);
// The object name that makes a label of a status bar its panel `index`.
QString StatusPanelName(int index);

}  // namespace pelvaro

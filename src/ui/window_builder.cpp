#include "ui/window_builder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ui/button_icons.h"
#include "ui/design_label.h"
#include "ui/qt_text.h"

namespace pelvaro {
namespace {

// A typical frame: 8 px on each side and a 31 px caption bar.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 39;
constexpr int kDefaultFontPx = 12;
constexpr int kButtonIconPx = 40;
const char* const kUiFontFace = "WenQuanYi Micro Hei";
const char* const kPanelPrefix = "panel";

const char* const kDesignSizeProperty = "pelvaroDesignSize";

struct Placed {
  QPointer<QWidget> widget;
  QRect design;
  std::uint8_t anchor;
};

// The anchor of a control, kKeepPlace when the table names none.
std::uint8_t AnchorOf(std::span<const ControlAnchor> anchors, std::string_view name) {
  for (const ControlAnchor& entry : anchors) {
    if (entry.name == name) return entry.anchor;
  }
  return kKeepPlace;
}

// The client area: its controls keep their design places, or answer its growth by their anchors.
class DesignArea : public QWidget {
 public:
  explicit DesignArea(QSize design) : design_(design) { setMinimumSize(design); }

  void place(QWidget* child, const QRect& design, std::uint8_t anchor) {
    child->setParent(this);
    placed_.push_back({child, design, anchor});
    child->setGeometry(AnchoredRect(design, anchor, size() - design_));
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    for (auto& [child, design, anchor] : placed_) {
      if (child) child->setGeometry(AnchoredRect(design, anchor, size() - design_));
    }
    QWidget::resizeEvent(event);
  }

 private:
  QSize design_;
  std::vector<Placed> placed_;
};

// A page of a tab control. Its controls are laid out relative to the tab control's corner, so
// the page moves them whenever its own place inside the tab control may have changed, and they
// answer the tab control's growth beyond its design size by their anchors.
class TabPage : public QWidget {
 public:
  TabPage(QTabWidget* tabs, QSize tabsDesign) : tabs_(tabs), tabsDesign_(tabsDesign) {}

  void place(QWidget* child, const QRect& design, std::uint8_t anchor) {
    child->setParent(this);
    placed_.push_back({child, design, anchor});
    relayout();
  }

 protected:
  void showEvent(QShowEvent* event) override {
    relayout();
    QWidget::showEvent(event);
  }
  void moveEvent(QMoveEvent* event) override {
    relayout();
    QWidget::moveEvent(event);
  }
  void resizeEvent(QResizeEvent* event) override {
    relayout();
    QWidget::resizeEvent(event);
  }

 private:
  void relayout() {
    QPoint origin;
    QSize grow;
    if (tabs_ != nullptr && tabs_->isAncestorOf(this)) {
      origin = mapTo(tabs_, QPoint(0, 0));
      grow = tabs_->size() - tabsDesign_;
    }
    for (auto& [child, design, anchor] : placed_) {
      if (child) child->setGeometry(AnchoredRect(design, anchor, grow).translated(-origin));
    }
  }

  QPointer<QTabWidget> tabs_;
  QSize tabsDesign_;
  std::vector<Placed> placed_;
};

QString ColourName(std::uint32_t rgb) { return QColor::fromRgb(rgb).name(); }

// The family name as a style sheet value: the face itself when installed, else our UI face.
QString FontFamily(std::string_view face) {
  QString name = QtFromUtf8(face);
  if (!QFontDatabase::hasFamily(name)) name = kUiFontFace;
  return '"' + name + '"';
}

// Colours and fonts go into the control's own style sheet: an application-wide skin would
// override fonts set any other way, while a control's own sheet always wins over it.
void ApplyLook(QWidget* widget, const ControlSpec& control, const char* styleClass, QString style = {},
               const QString& more = {}) {
  if (control.textColor != ControlSpec::kDefaultColor)
    style += "color: " + ColourName(control.textColor) + "; ";
  if (control.backColor != ControlSpec::kDefaultColor) {
    style += "background-color: " + ColourName(control.backColor) + "; ";
  }
  if (control.fontPx > 0) style += QString("font-size: %1px; ").arg(control.fontPx);
  if (control.bold) style += "font-weight: bold; ";
  if (!control.fontFace.empty()) style += "font-family: " + FontFamily(control.fontFace) + "; ";
  if (!style.isEmpty()) widget->setStyleSheet(QString(styleClass) + " { " + style + "}" + more);
}

// A label the user presses: it reads like the label it replaces, and as a real button it is
// reached with Tab and pressed with the space bar, framed while it has the focus as every
// focused control is.
QWidget* MakePressableLabel(const ControlSpec& control) {
  auto* button = new QPushButton(QtFromGbk(Gbk(control.text)));
  button->setFlat(true);
  button->setCursor(Qt::PointingHandCursor);
  ApplyLook(button, control, "QPushButton",
            "border: 1px solid transparent; background-color: transparent; padding: 0; text-align: left; ",
            " QPushButton:focus { border: 1px solid #2a6fd6; }");
  return button;
}

QWidget* MakeLabel(const ControlSpec& control) {
  if (control.style == WidgetStyle::PressableLabel) return MakePressableLabel(control);
  auto* label = new DesignLabel;
  label->setWordWrap(control.wordWrap);
  label->setPlainText(QtLinesFromGbk(Gbk(control.text)));
  label->setAlignment(control.wordWrap ? (Qt::AlignLeft | Qt::AlignTop) : (Qt::AlignLeft | Qt::AlignVCenter));
  label->setFocusPolicy(Qt::NoFocus);
  if (control.style == WidgetStyle::TransparentLabel) {
    label->setAutoFillBackground(false);
    label->setAttribute(Qt::WA_TranslucentBackground);
  }
  ApplyLook(label, control, "QLabel");
  return label;
}

QWidget* MakeEditBox(const ControlSpec& control) {
  if (control.style == WidgetStyle::MultiLine || control.style == WidgetStyle::LogBox) {
    auto* edit = new QPlainTextEdit(QtLinesFromGbk(Gbk(control.text)));
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (control.style == WidgetStyle::LogBox) {
      edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      edit->setReadOnly(true);
    } else {
      edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    ApplyLook(edit, control, "QPlainTextEdit");
    return edit;
  }
  auto* edit = new QLineEdit(QtFromGbk(Gbk(control.text)));
  ApplyLook(edit, control, "QLineEdit");
  return edit;
}

QWidget* MakeButton(const ControlSpec& control) {
  QString caption = QtFromGbk(Gbk(control.text));
  if (control.style != WidgetStyle::SuperButton) {
    auto* button = new QPushButton(caption);
    ApplyLook(button, control, "QPushButton");
    return button;
  }
  auto* button = new QToolButton;
  button->setText(caption);
  button->setIcon(ButtonIcon(control.name, kButtonIconPx));
  button->setIconSize(QSize(kButtonIconPx, kButtonIconPx));
  // A wide, low button has no room for the caption under the image.
  button->setToolButtonStyle(control.width > 2 * control.height ? Qt::ToolButtonTextBesideIcon
                                                                : Qt::ToolButtonTextUnderIcon);
  button->setAutoRaise(true);
  ApplyLook(button, control, "QToolButton");
  return button;
}

QWidget* MakeListView(const ControlSpec& control) {
  auto* list = new QTreeWidget;
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setAllColumnsShowFocus(true);
  list->setTextElideMode(Qt::ElideRight);
  QStringList titles;
  for (const ColumnSpec& column : VideoListColumns()) titles << QtFromUtf8(column.title);
  list->setColumnCount(static_cast<int>(titles.size()));
  list->setHeaderLabels(titles);
  list->header()->setStretchLastSection(false);
  list->header()->setMinimumSectionSize(1);
  list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  int index = 0;
  for (const ColumnSpec& column : VideoListColumns()) list->setColumnWidth(index++, column.width);
  ApplyLook(list, control, "QTreeWidget");
  return list;
}

QWidget* MakeTabControl(const ControlSpec& control) {
  auto* tabs = new QTabWidget;
  tabs->setFocusPolicy(Qt::NoFocus);
  tabs->tabBar()->setFocusPolicy(Qt::NoFocus);
  for (const QString& title : QtFromUtf8(control.text).split('|'))
    tabs->addTab(new TabPage(tabs, QSize(control.width, control.height)), title);
  ApplyLook(tabs, control, "QTabWidget");
  return tabs;
}

QWidget* MakeControl(const ControlSpec& control) {
  switch (control.kind) {
    case ControlKind::Label:
      return MakeLabel(control);
    case ControlKind::EditBox:
      return MakeEditBox(control);
    case ControlKind::Button:
      return MakeButton(control);
    case ControlKind::CheckBox: {
      auto* box = new QCheckBox(QtFromGbk(Gbk(control.text)));
      box->setChecked(control.checkedAtStart);
      ApplyLook(box, control, "QCheckBox");
      return box;
    }
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox;
      combo->setEditable(false);
      ApplyLook(combo, control, "QComboBox");
      return combo;
    }
    case ControlKind::ListView:
      return MakeListView(control);
    case ControlKind::TabControl:
      return MakeTabControl(control);
    case ControlKind::DateBox:
    case ControlKind::StatusBar:
    case ControlKind::Timer:
    case ControlKind::Other:
      break;
  }
  return nullptr;
}

void BuildStatusBar(QMainWindow& window, const ControlSpec& control, std::span<const int> widths) {
  auto* bar = new QStatusBar;
  bar->setObjectName(QtFromUtf8(control.name));
  bar->setSizeGripEnabled(false);
  for (std::size_t i = 0; i <= widths.size(); ++i) {
    auto* panel = new QLabel;
    panel->setObjectName(StatusPanelName(static_cast<int>(i)));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
    if (i < widths.size()) {
      panel->setFixedWidth(widths[i]);
      bar->addWidget(panel);
    } else {
      bar->addWidget(panel, 1);
    }
  }
  window.setStatusBar(bar);
  if (!control.visible) bar->hide();
}

// The height the status bar takes from the client area: its natural height, but no more than
// the design leaves below the lowest control, so that the design size holds the bar too.
int StatusBarHeight(QMainWindow& window, const WindowSpec& layout) {
  QStatusBar* bar = window.findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly);
  if (bar == nullptr || bar->isHidden()) return 0;
  int bottom = 0;
  for (const ControlSpec& control : layout.controls) {
    if (control.parent.empty() && control.kind != ControlKind::StatusBar &&
        control.kind != ControlKind::Timer)
      bottom = std::max(bottom, control.top + control.height);
  }
  const int spare = ClientSizeFor(layout).height() - bottom;
  const int height = spare > 0 ? std::min(bar->sizeHint().height(), spare) : bar->sizeHint().height();
  bar->setFixedHeight(height);
  return height;
}

}  // namespace

QRect AnchoredRect(const QRect& design, std::uint8_t anchor, QSize grow) {
  grow = grow.expandedTo(QSize(0, 0));
  QRect rect = design;
  if (anchor & kFollowRight) rect.translate(grow.width(), 0);
  if (anchor & kStretchRight) rect.setWidth(rect.width() + grow.width());
  if (anchor & kFollowBottom) rect.translate(0, grow.height());
  if (anchor & kStretchDown) rect.setHeight(rect.height() + grow.height());
  return rect;
}

QSize ClientSizeFor(const WindowSpec& layout) {
  return QSize(layout.width - kFrameWidth, layout.height - kFrameHeight);
}

QSize TypicalFrame() { return QSize(kFrameWidth, kFrameHeight); }

QSize WindowFrame(const QWidget& window) {
  auto frameOf = [](const QWidget& shown) { return shown.frameGeometry().size() - shown.size(); };
  if (window.isVisible()) return frameOf(window);
  for (const QWidget* other : QApplication::topLevelWidgets()) {
    if (other != &window && other->isVisible() && other->windowType() == Qt::Window) return frameOf(*other);
  }
  return TypicalFrame();
}

QRect FitOnScreen(const QRect& wanted, const QSize& minimum, const QRect& available, const QSize& frame) {
  const QSize room = (available.size() - frame).expandedTo(QSize(1, 1));
  const QSize size = wanted.size().boundedTo(room).expandedTo(minimum.boundedTo(room));
  const int left =
      std::clamp(wanted.left(), available.left(), available.left() + room.width() - size.width());
  const int top = std::clamp(wanted.top(), available.top(), available.top() + room.height() - size.height());
  return QRect(QPoint(left, top), size);
}

void BuildWindow(QMainWindow& window, const WindowSpec& layout, std::span<const ControlAnchor> anchors) {
  window.setStyleSheet(
      QString("QWidget { font-family: \"%1\"; font-size: %2px; }").arg(kUiFontFace).arg(kDefaultFontPx));

  std::map<std::string_view, QTabWidget*> tabControls;
  std::vector<std::pair<QWidget*, const ControlSpec*>> onClient;
  for (const ControlSpec& control : layout.controls) {
    if (control.kind == ControlKind::StatusBar) {
      BuildStatusBar(window, control, layout.panelWidths);
      continue;
    }
    if (control.kind == ControlKind::Timer) {
      auto* timer = new QTimer(&window);
      timer->setObjectName(QtFromUtf8(control.name));
      continue;
    }
    QWidget* widget = MakeControl(control);
    if (widget == nullptr) continue;
    widget->setObjectName(QtFromUtf8(control.name));
    QRect design(control.left, control.top, control.width, control.height);
    auto parent = tabControls.find(control.parent);
    if (parent != tabControls.end()) {
      auto* page = dynamic_cast<TabPage*>(parent->second->widget(control.page));
      if (page != nullptr) page->place(widget, design, AnchorOf(anchors, control.name));
    } else {
      onClient.emplace_back(widget, &control);
    }
    if (!control.visible) widget->hide();
    if (auto* tabs = qobject_cast<QTabWidget*>(widget)) tabControls[control.name] = tabs;
  }

  // The controls' area is the client area less the status bar; it scrolls when the window is
  // smaller than the design, which only a screen too small for the design makes it.
  const QSize client = ClientSizeFor(layout);
  auto* area = new DesignArea(client - QSize(0, StatusBarHeight(window, layout)));
  for (auto [widget, control] : onClient) {
    area->place(widget, QRect(control->left, control->top, control->width, control->height),
                AnchorOf(anchors, control->name));
    if (!control->visible) widget->hide();
  }
  auto* scroll = new QScrollArea;
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setFocusPolicy(Qt::NoFocus);  // a stop of Tab that shows nothing; the controls are the stops
  scroll->setWidgetResizable(true);
  scroll->setWidget(area);
  // The area shows the window's own background, as the client area did.
  scroll->viewport()->setAutoFillBackground(false);
  area->setAutoFillBackground(false);
  window.setCentralWidget(scroll);

  window.setWindowTitle(QtFromUtf8(layout.designCaption));
  window.setProperty(kDesignSizeProperty, client);
  const QScreen* screen = window.screen();
  const QRect available =
      screen != nullptr ? screen->availableGeometry() : QRect(QPoint(0, 0), client + TypicalFrame());
  const QRect place = FitOnScreen(QRect(layout.left, layout.top, client.width(), client.height()), client,
                                  available, WindowFrame(window));
  window.setMinimumSize(place.size());
  if (anchors.empty()) window.setMaximumSize(client.expandedTo(place.size()));
  window.resize(place.size());
  window.move(place.topLeft());
}

QSize DesignClientSize(const QWidget& window) {
  const QSize size = window.property(kDesignSizeProperty).toSize();
  return size.isValid() ? size : window.minimumSize();
}

QLabel* StatusPanel(QStatusBar* bar, int index) {
  if (bar == nullptr || index < 0) return nullptr;
  return bar->findChild<QLabel*>(StatusPanelName(index));
}

QString StatusPanelName(int index) { return kPanelPrefix + QString::number(index); }

}  // namespace pelvaro

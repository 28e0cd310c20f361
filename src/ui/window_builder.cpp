#include "ui/window_builder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
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

// A page of a tab control. Its controls are laid out relative to the tab control's corner, so
// the page moves them whenever its own place inside the tab control may have changed.
class TabPage : public QWidget {
 public:
  explicit TabPage(QTabWidget* tabs) : tabs_(tabs) {}

  void place(QWidget* child, const QRect& design) {
    child->setParent(this);
    placed_.push_back({child, design});
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
    if (tabs_ != nullptr && tabs_->isAncestorOf(this)) origin = mapTo(tabs_, QPoint(0, 0));
    for (auto& [child, design] : placed_) {
      if (child) child->setGeometry(design.translated(-origin));
    }
  }

  QPointer<QTabWidget> tabs_;
  std::vector<std::pair<QPointer<QWidget>, QRect>> placed_;
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
void ApplyLook(QWidget* widget, const ControlSpec& control, const char* styleClass) {
  QString style;
  if (control.textColor != ControlSpec::kDefaultColor)
    style += "color: " + ColourName(control.textColor) + "; ";
  if (control.backColor != ControlSpec::kDefaultColor) {
    style += "background-color: " + ColourName(control.backColor) + "; ";
  }
  if (control.fontPx > 0) style += QString("font-size: %1px; ").arg(control.fontPx);
  if (control.bold) style += "font-weight: bold; ";
  if (!control.fontFace.empty()) style += "font-family: " + FontFamily(control.fontFace) + "; ";
  if (!style.isEmpty()) widget->setStyleSheet(QString(styleClass) + " { " + style + "}");
}

QWidget* MakeLabel(const ControlSpec& control) {
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
  for (const QString& title : QtFromUtf8(control.text).split('|')) tabs->addTab(new TabPage(tabs), title);
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

void BuildStatusBar(QMainWindow& window, const ControlSpec& control) {
  auto* bar = new QStatusBar;
  bar->setObjectName(QtFromUtf8(control.name));
  bar->setSizeGripEnabled(false);
  auto widths = StatusBarPanelWidths();
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

}  // namespace

QSize ClientSizeFor(const WindowSpec& layout) {
  return QSize(layout.width - kFrameWidth, layout.height - kFrameHeight);
}

void BuildWindow(QMainWindow& window, const WindowSpec& layout) {
  auto* client = new QWidget;
  window.setStyleSheet(
      QString("QWidget { font-family: \"%1\"; font-size: %2px; }").arg(kUiFontFace).arg(kDefaultFontPx));
  window.setCentralWidget(client);

  std::map<std::string_view, QTabWidget*> tabControls;
  for (const ControlSpec& control : layout.controls) {
    if (control.kind == ControlKind::StatusBar) {
      BuildStatusBar(window, control);
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
      if (page != nullptr) page->place(widget, design);
    } else {
      widget->setParent(client);
      widget->setGeometry(design);
    }
    if (!control.visible) widget->hide();
    if (auto* tabs = qobject_cast<QTabWidget*>(widget)) tabControls[control.name] = tabs;
  }

  window.setWindowTitle(QtFromUtf8(layout.designCaption));
  window.setFixedSize(ClientSizeFor(layout));
  window.move(layout.left, layout.top);
}

QLabel* StatusPanel(QStatusBar* bar, int index) {
  if (bar == nullptr || index < 0) return nullptr;
  return bar->findChild<QLabel*>(StatusPanelName(index));
}

QString StatusPanelName(int index) { return kPanelPrefix + QString::number(index); }

}  // namespace pelvaro

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
void ApplyLook(QWidget* widget, const ControlSpec& spec, const char* styleClass) {
  QString style;
  if (spec.textColor != ControlSpec::kDefaultColor) style += "color: " + ColourName(spec.textColor) + "; ";
  if (spec.backColor != ControlSpec::kDefaultColor) {
    style += "background-color: " + ColourName(spec.backColor) + "; ";
  }
  if (spec.fontPx > 0) style += QString("font-size: %1px; ").arg(spec.fontPx);
  if (spec.bold) style += "font-weight: bold; ";
  if (!spec.fontFace.empty()) style += "font-family: " + FontFamily(spec.fontFace) + "; ";
  if (!style.isEmpty()) widget->setStyleSheet(QString(styleClass) + " { " + style + "}");
}

QWidget* MakeLabel(const ControlSpec& spec) {
  auto* label = new DesignLabel;
  label->setWordWrap(spec.wordWrap);
  label->setPlainText(QtLinesFromGbk(Gbk(spec.text)));
  label->setAlignment(spec.wordWrap ? (Qt::AlignLeft | Qt::AlignTop) : (Qt::AlignLeft | Qt::AlignVCenter));
  label->setFocusPolicy(Qt::NoFocus);
  if (spec.style == WidgetStyle::TransparentLabel) {
    label->setAutoFillBackground(false);
    label->setAttribute(Qt::WA_TranslucentBackground);
  }
  ApplyLook(label, spec, "QLabel");
  return label;
}

QWidget* MakeEditBox(const ControlSpec& spec) {
  if (spec.style == WidgetStyle::MultiLine || spec.style == WidgetStyle::LogBox) {
    auto* edit = new QPlainTextEdit(QtLinesFromGbk(Gbk(spec.text)));
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (spec.style == WidgetStyle::LogBox) {
      edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      edit->setReadOnly(true);
    } else {
      edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    ApplyLook(edit, spec, "QPlainTextEdit");
    return edit;
  }
  auto* edit = new QLineEdit(QtFromGbk(Gbk(spec.text)));
  ApplyLook(edit, spec, "QLineEdit");
  return edit;
}

QWidget* MakeButton(const ControlSpec& spec) {
  QString caption = QtFromGbk(Gbk(spec.text));
  if (spec.style != WidgetStyle::SuperButton) {
    auto* button = new QPushButton(caption);
    ApplyLook(button, spec, "QPushButton");
    return button;
  }
  auto* button = new QToolButton;
  button->setText(caption);
  button->setIcon(ButtonIcon(spec.name, kButtonIconPx));
  button->setIconSize(QSize(kButtonIconPx, kButtonIconPx));
  // A wide, low button has no room for the caption under the image.
  button->setToolButtonStyle(spec.width > 2 * spec.height ? Qt::ToolButtonTextBesideIcon
                                                          : Qt::ToolButtonTextUnderIcon);
  button->setAutoRaise(true);
  ApplyLook(button, spec, "QToolButton");
  return button;
}

QWidget* MakeListView(const ControlSpec& spec) {
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
  ApplyLook(list, spec, "QTreeWidget");
  return list;
}

QWidget* MakeTabControl(const ControlSpec& spec) {
  auto* tabs = new QTabWidget;
  tabs->setFocusPolicy(Qt::NoFocus);
  tabs->tabBar()->setFocusPolicy(Qt::NoFocus);
  for (const QString& title : QtFromUtf8(spec.text).split('|')) tabs->addTab(new TabPage(tabs), title);
  ApplyLook(tabs, spec, "QTabWidget");
  return tabs;
}

QWidget* MakeControl(const ControlSpec& spec) {
  switch (spec.kind) {
    case ControlKind::Label:
      return MakeLabel(spec);
    case ControlKind::EditBox:
      return MakeEditBox(spec);
    case ControlKind::Button:
      return MakeButton(spec);
    case ControlKind::CheckBox: {
      auto* box = new QCheckBox(QtFromGbk(Gbk(spec.text)));
      box->setChecked(spec.checkedAtStart);
      ApplyLook(box, spec, "QCheckBox");
      return box;
    }
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox;
      combo->setEditable(false);
      ApplyLook(combo, spec, "QComboBox");
      return combo;
    }
    case ControlKind::ListView:
      return MakeListView(spec);
    case ControlKind::TabControl:
      return MakeTabControl(spec);
    case ControlKind::DateBox:
    case ControlKind::StatusBar:
    case ControlKind::Timer:
    case ControlKind::Other:
      break;
  }
  return nullptr;
}

void BuildStatusBar(QMainWindow& window, const ControlSpec& spec) {
  auto* bar = new QStatusBar;
  bar->setObjectName(QtFromUtf8(spec.name));
  bar->setSizeGripEnabled(false);
  auto widths = StatusBarPanelWidths();
  for (std::size_t i = 0; i <= widths.size(); ++i) {
    auto* panel = new QLabel;
    panel->setObjectName(kPanelPrefix + QString::number(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    if (i < widths.size()) {
      panel->setFixedWidth(widths[i]);
      bar->addWidget(panel);
    } else {
      bar->addWidget(panel, 1);
    }
  }
  window.setStatusBar(bar);
  if (!spec.visible) bar->hide();
}

}  // namespace

QSize ClientSizeFor(const WindowSpec& spec) {
  return QSize(spec.width - kFrameWidth, spec.height - kFrameHeight);
}

void BuildWindow(QMainWindow& window, const WindowSpec& spec) {
  auto* client = new QWidget;
  window.setStyleSheet(
      QString("QWidget { font-family: \"%1\"; font-size: %2px; }").arg(kUiFontFace).arg(kDefaultFontPx));
  window.setCentralWidget(client);

  std::map<std::string_view, QTabWidget*> tabControls;
  for (const ControlSpec& control : spec.controls) {
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

  window.setWindowTitle(QtFromUtf8(spec.designCaption));
  window.setFixedSize(ClientSizeFor(spec));
  window.move(spec.left, spec.top);
}

QLabel* StatusPanel(QStatusBar* bar, int index) {
  if (bar == nullptr || index < 0) return nullptr;
  return bar->findChild<QLabel*>(kPanelPrefix + QString::number(index));
}

}  // namespace pelvaro

#include "ui/qt_form.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextCursor>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

#include "ui/column_fit.h"
#include "ui/design_label.h"
#include "ui/dialogs.h"
#include "ui/gui_call.h"
#include "ui/qt_text.h"
#include "ui/video_list_delegate.h"
#include "ui/window_builder.h"

namespace pelvaro {
namespace {

constexpr int kRowHandleRole = Qt::UserRole;
const char* const kNextRowProperty = "pelvaroNextRow";
const char* const kDefaultTitle = "信息：";

// Runs op(window) on the window's thread; R{} when the window is gone or the caller stopped.
template <class R, class Op>
R OnGui(const QPointer<QWidget>& window, Op op) {
  QWidget* target = window.data();
  if (target == nullptr) return R{};
  return CallOnThreadOf<R>(target, [guard = QPointer<QWidget>(target), op = std::move(op)]() mutable -> R {
    return guard ? op(guard.data()) : R{};
  });
}

template <class Op>
void OnGuiVoid(const QPointer<QWidget>& window, Op op) {
  QWidget* target = window.data();
  if (target == nullptr) return;
  RunOnThreadOf(target, [guard = QPointer<QWidget>(target), op = std::move(op)]() mutable {
    if (guard) op(guard.data());
  });
}

template <class W>
W* Find(QWidget* window, const QString& name) {
  return window->findChild<W*>(name);
}

QTreeWidgetItem* FindRow(QTreeWidget* list, RowHandle row) {
  if (list == nullptr || row == kNoRow) return nullptr;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list->topLevelItem(i);
    if (item->data(0, kRowHandleRole).toULongLong() == row) return item;
  }
  return nullptr;
}

RowHandle HandleOf(QTreeWidgetItem* item) { return RowHandleOf(item); }

// A control's own visibility: shown unless it was hidden itself, whatever its parents are.
bool OwnVisible(const QWidget* widget) {
  return !widget->isHidden() || !widget->testAttribute(Qt::WA_WState_ExplicitShowHide);
}

}  // namespace

RowHandle RowHandleOf(const QTreeWidgetItem* item) {
  return item == nullptr ? kNoRow : item->data(0, kRowHandleRole).toULongLong();
}

QtForm::QtForm(QWidget* window, const WindowDesign& layout) : window_(window), layout_(layout) {}

Text QtForm::text(std::string_view control) {
  return OnGui<Text>(window_, [name = QtFromUtf8(control)](QWidget* w) -> Text {
    QObject* object = Find<QObject>(w, name);
    if (auto* label = dynamic_cast<DesignLabel*>(object)) return GbkLinesFromQt(label->plainText());
    if (auto* label = qobject_cast<QLabel*>(object)) return GbkLinesFromQt(label->text());
    if (auto* edit = qobject_cast<QLineEdit*>(object)) return GbkFromQt(edit->text());
    if (auto* edit = qobject_cast<QPlainTextEdit*>(object)) return GbkLinesFromQt(edit->toPlainText());
    if (auto* button = qobject_cast<QAbstractButton*>(object)) return GbkFromQt(button->text());
    if (auto* combo = qobject_cast<QComboBox*>(object)) return GbkFromQt(combo->currentText());
    return {};
  });
}

void QtForm::setText(std::string_view control, const Text& value) {
  OnGuiVoid(window_, [name = QtFromUtf8(control), value](QWidget* w) {
    QObject* object = Find<QObject>(w, name);
    if (auto* label = dynamic_cast<DesignLabel*>(object)) {
      label->setPlainText(QtLinesFromGbk(value));
    } else if (auto* label = qobject_cast<QLabel*>(object)) {
      label->setTextFormat(Qt::PlainText);
      label->setText(QtLinesFromGbk(value));
    } else if (auto* edit = qobject_cast<QLineEdit*>(object)) {
      edit->setText(QtFromGbk(value));
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(object)) {
      edit->setPlainText(QtLinesFromGbk(value));
    } else if (auto* button = qobject_cast<QAbstractButton*>(object)) {
      button->setText(QtFromGbk(value));
    } else if (auto* combo = qobject_cast<QComboBox*>(object)) {
      if (combo->isEditable()) {
        combo->setEditText(QtFromGbk(value));
      } else if (int index = combo->findText(QtFromGbk(value)); index >= 0) {
        combo->setCurrentIndex(index);
      }
    }
  });
}

std::string QtForm::textUtf8(std::string_view control) {
  return OnGui<std::string>(window_, [name = QtFromUtf8(control)](QWidget* w) -> std::string {
    QObject* object = Find<QObject>(w, name);
    if (auto* edit = qobject_cast<QLineEdit*>(object)) return Utf8FromQt(edit->text());
    if (auto* edit = qobject_cast<QPlainTextEdit*>(object)) return Utf8FromQt(edit->toPlainText());
    return {};
  });
}

void QtForm::setTextUtf8(std::string_view control, std::string_view utf8) {
  OnGuiVoid(window_, [name = QtFromUtf8(control), value = QtFromUtf8(utf8)](QWidget* w) {
    QObject* object = Find<QObject>(w, name);
    if (auto* edit = qobject_cast<QLineEdit*>(object)) {
      edit->setText(value);
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(object)) {
      edit->setPlainText(value);
    }
  });
}

void QtForm::appendLine(std::string_view control, const Text& value) {
  OnGuiVoid(window_, [name = QtFromUtf8(control), value](QWidget* w) {
    QObject* object = Find<QObject>(w, name);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(object)) {
      QTextCursor end(edit->document());
      end.movePosition(QTextCursor::End);
      end.insertText(QtLinesFromGbk(value) + QChar('\n'));
      QScrollBar* bar = edit->verticalScrollBar();
      bar->setValue(bar->maximum());
    } else if (auto* edit = qobject_cast<QLineEdit*>(object)) {
      // A single line has no room for the line break.
      edit->setText(edit->text() + QtFromGbk(value));
    }
  });
}

bool QtForm::checked(std::string_view control) {
  return OnGui<bool>(window_, [name = QtFromUtf8(control)](QWidget* w) {
    auto* button = Find<QAbstractButton>(w, name);
    return button != nullptr && button->isCheckable() && button->isChecked();
  });
}

void QtForm::setChecked(std::string_view control, bool value) {
  OnGuiVoid(window_, [name = QtFromUtf8(control), value](QWidget* w) {
    auto* button = Find<QAbstractButton>(w, name);
    if (button != nullptr && button->isCheckable()) button->setChecked(value);
  });
}

void QtForm::clearItems(std::string_view comboBox) {
  OnGuiVoid(window_, [name = QtFromUtf8(comboBox)](QWidget* w) {
    if (auto* combo = Find<QComboBox>(w, name)) combo->clear();
  });
}

void QtForm::addItem(std::string_view comboBox, const Text& item) {
  OnGuiVoid(window_, [name = QtFromUtf8(comboBox), item](QWidget* w) {
    if (auto* combo = Find<QComboBox>(w, name)) combo->addItem(QtFromGbk(item));
  });
}

int QtForm::itemCount(std::string_view comboBox) {
  return OnGui<int>(window_, [name = QtFromUtf8(comboBox)](QWidget* w) {
    auto* combo = Find<QComboBox>(w, name);
    return combo == nullptr ? 0 : combo->count();
  });
}

Text QtForm::itemText(std::string_view comboBox, int index) {
  return OnGui<Text>(window_, [name = QtFromUtf8(comboBox), index](QWidget* w) -> Text {
    auto* combo = Find<QComboBox>(w, name);
    if (combo == nullptr || index < 0 || index >= combo->count()) return {};
    return GbkFromQt(combo->itemText(index));
  });
}

int QtForm::currentIndex(std::string_view comboBox) {
  return OnGui<int>(window_, [name = QtFromUtf8(comboBox)](QWidget* w) {
    auto* combo = Find<QComboBox>(w, name);
    return combo == nullptr ? -1 : combo->currentIndex();
  });
}

void QtForm::setCurrentIndex(std::string_view comboBox, int index) {
  OnGuiVoid(window_, [name = QtFromUtf8(comboBox), index](QWidget* w) {
    auto* combo = Find<QComboBox>(w, name);
    if (combo != nullptr && index >= -1 && index < combo->count()) combo->setCurrentIndex(index);
  });
}

RowHandle QtForm::addRow(std::string_view listView) {
  return OnGui<RowHandle>(window_, [name = QtFromUtf8(listView)](QWidget* w) -> RowHandle {
    auto* list = Find<QTreeWidget>(w, name);
    if (list == nullptr) return kNoRow;
    RowHandle handle = list->property(kNextRowProperty).toULongLong();
    if (handle == kNoRow) handle = 1;
    list->setProperty(kNextRowProperty, QVariant::fromValue<qulonglong>(handle + 1));
    auto* item = new QTreeWidgetItem;
    item->setData(0, kRowHandleRole, QVariant::fromValue<qulonglong>(handle));
    list->addTopLevelItem(item);
    return handle;
  });
}

void QtForm::setCell(std::string_view listView, RowHandle row, int column, const Text& value) {
  OnGuiVoid(window_, [name = QtFromUtf8(listView), row, column, value](QWidget* w) {
    auto* list = Find<QTreeWidget>(w, name);
    QTreeWidgetItem* item = FindRow(list, row);
    if (item != nullptr && column >= 0 && column < list->columnCount()) {
      item->setData(column, kCellFractionRole, QVariant());
      item->setText(column, QtFromGbk(value));
    }
  });
}

void QtForm::setProgressCell(std::string_view listView, RowHandle row, int column, const Text& value,
                             double fraction) {
  OnGuiVoid(window_, [name = QtFromUtf8(listView), row, column, value, fraction](QWidget* w) {
    auto* list = Find<QTreeWidget>(w, name);
    QTreeWidgetItem* item = FindRow(list, row);
    if (item != nullptr && column >= 0 && column < list->columnCount()) {
      item->setData(column, kCellFractionRole, fraction);
      item->setText(column, QtFromGbk(value));
    }
  });
}

void QtForm::setCellUtf8(std::string_view listView, RowHandle row, int column, std::string_view utf8) {
  OnGuiVoid(window_, [name = QtFromUtf8(listView), row, column, value = QtFromUtf8(utf8)](QWidget* w) {
    auto* list = Find<QTreeWidget>(w, name);
    QTreeWidgetItem* item = FindRow(list, row);
    if (item != nullptr && column >= 0 && column < list->columnCount()) {
      item->setData(column, kCellFractionRole, QVariant());
      item->setText(column, value);
    }
  });
}

std::string QtForm::cellUtf8(std::string_view listView, RowHandle row, int column) {
  return OnGui<std::string>(window_, [name = QtFromUtf8(listView), row, column](QWidget* w) -> std::string {
    auto* list = Find<QTreeWidget>(w, name);
    QTreeWidgetItem* item = FindRow(list, row);
    if (item == nullptr || column < 0 || column >= list->columnCount()) return {};
    return Utf8FromQt(item->text(column));
  });
}

Text QtForm::cell(std::string_view listView, RowHandle row, int column) {
  return OnGui<Text>(window_, [name = QtFromUtf8(listView), row, column](QWidget* w) -> Text {
    auto* list = Find<QTreeWidget>(w, name);
    QTreeWidgetItem* item = FindRow(list, row);
    if (item == nullptr || column < 0 || column >= list->columnCount()) return {};
    return GbkFromQt(item->text(column));
  });
}

int QtForm::rowCount(std::string_view listView) {
  return OnGui<int>(window_, [name = QtFromUtf8(listView)](QWidget* w) {
    auto* list = Find<QTreeWidget>(w, name);
    return list == nullptr ? 0 : list->topLevelItemCount();
  });
}

RowHandle QtForm::rowAt(std::string_view listView, int index) {
  return OnGui<RowHandle>(window_, [name = QtFromUtf8(listView), index](QWidget* w) {
    auto* list = Find<QTreeWidget>(w, name);
    if (list == nullptr || index < 0 || index >= list->topLevelItemCount()) return kNoRow;
    return HandleOf(list->topLevelItem(index));
  });
}

RowHandle QtForm::selectedRow(std::string_view listView) {
  return OnGui<RowHandle>(window_, [name = QtFromUtf8(listView)](QWidget* w) {
    auto* list = Find<QTreeWidget>(w, name);
    if (list == nullptr) return kNoRow;
    QList<QTreeWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? kNoRow : HandleOf(selected.first());
  });
}

void QtForm::deleteRow(std::string_view listView, RowHandle row) {
  OnGuiVoid(window_, [name = QtFromUtf8(listView), row](QWidget* w) {
    delete FindRow(Find<QTreeWidget>(w, name), row);
  });
}

void QtForm::clearRows(std::string_view listView) {
  OnGuiVoid(window_, [name = QtFromUtf8(listView)](QWidget* w) {
    if (auto* list = Find<QTreeWidget>(w, name)) list->clear();
  });
}

bool QtForm::visible(std::string_view control) {
  return OnGui<bool>(window_, [name = QtFromUtf8(control)](QWidget* w) {
    auto* widget = Find<QWidget>(w, name);
    return widget != nullptr && OwnVisible(widget);
  });
}

void QtForm::setVisible(std::string_view control, bool value) {
  OnGuiVoid(window_, [name = QtFromUtf8(control), value](QWidget* w) {
    if (auto* widget = Find<QWidget>(w, name)) widget->setVisible(value);
  });
}

void QtForm::setPanelText(std::string_view statusBar, int panel, const Text& value) {
  OnGuiVoid(window_, [name = QtFromUtf8(statusBar), panel, value](QWidget* w) {
    if (QLabel* label = StatusPanel(Find<QStatusBar>(w, name), panel)) {
      // The quote of the day comes from a public service: never markup.
      label->setTextFormat(Qt::PlainText);
      label->setText(QtFromGbk(value));
    }
  });
}

Text QtForm::panelText(std::string_view statusBar, int panel) {
  return OnGui<Text>(window_, [name = QtFromUtf8(statusBar), panel](QWidget* w) -> Text {
    QLabel* label = StatusPanel(Find<QStatusBar>(w, name), panel);
    return label == nullptr ? Text{} : GbkFromQt(label->text());
  });
}

void QtForm::setTimerInterval(std::string_view timer, int milliseconds) {
  OnGuiVoid(window_, [name = QtFromUtf8(timer), milliseconds](QWidget* w) {
    auto* clock = Find<QTimer>(w, name);
    if (clock == nullptr) return;
    // Interval 0 means a stopped timer, not one that fires at every turn of the event loop.
    if (milliseconds <= 0) {
      clock->stop();
      clock->setInterval(0);
    } else {
      clock->start(milliseconds);
    }
  });
}

int QtForm::timerInterval(std::string_view timer) {
  return OnGui<int>(window_, [name = QtFromUtf8(timer)](QWidget* w) {
    auto* clock = Find<QTimer>(w, name);
    return clock != nullptr && clock->isActive() ? clock->interval() : 0;
  });
}

Text QtForm::caption() {
  return OnGui<Text>(window_, [](QWidget* w) { return GbkFromQt(w->windowTitle()); });
}

void QtForm::setCaption(const Text& value) {
  OnGuiVoid(window_, [value](QWidget* w) { w->setWindowTitle(QtFromGbk(value)); });
}

void QtForm::moveWindow(int left, int top) {
  OnGuiVoid(window_, [left, top](QWidget* w) { w->move(left, top); });
}

void QtForm::setWindowVisible(bool value) {
  OnGuiVoid(window_, [value](QWidget* w) { w->setVisible(value); });
}

std::vector<int> QtForm::columnWidths(std::string_view listView) {
  return OnGui<std::vector<int>>(window_, [name = QtFromUtf8(listView)](QWidget* w) {
    std::vector<int> widths;
    auto* list = Find<QTreeWidget>(w, name);
    if (list == nullptr || !ColumnsSizedByHand(list)) return widths;
    for (int i = 0; i < list->columnCount(); ++i) widths.push_back(list->columnWidth(i));
    return widths;
  });
}

void QtForm::setColumnWidths(std::string_view listView, const std::vector<int>& widths) {
  OnGuiVoid(window_, [name = QtFromUtf8(listView), widths](QWidget* w) {
    auto* list = Find<QTreeWidget>(w, name);
    if (list == nullptr) return;
    SetColumnsSizedByHand(list, true);
    for (int i = 0; i < list->columnCount() && i < static_cast<int>(widths.size()); ++i)
      list->setColumnWidth(i, std::max(list->header()->minimumSectionSize(), widths[i]));
  });
}

WindowPlacement QtForm::windowPlacement() {
  return OnGui<WindowPlacement>(window_, [](QWidget* w) {
    const bool maximized = w->isMaximized();
    QRect client = w->geometry();
    if (maximized && w->normalGeometry().isValid()) client = w->normalGeometry();
    // The frame keeps its offset from the client area when the window is maximised.
    const QPoint frame = client.topLeft() - (w->geometry().topLeft() - w->pos());
    return WindowPlacement{frame.x(), frame.y(), client.width(), client.height(), maximized};
  });
}

void QtForm::setWindowPlacement(const WindowPlacement& placement) {
  OnGuiVoid(window_, [placement](QWidget* w) {
    if (placement.width <= 0 || placement.height <= 0) return;
    const QRect wanted(placement.left, placement.top, placement.width, placement.height);
    QScreen* screen = QGuiApplication::screenAt(wanted.center());
    if (screen == nullptr) screen = w->screen();
    if (screen == nullptr) return;
    const QRect fit = FitOnScreen(wanted, DesignClientSize(*w), screen->availableGeometry(), WindowFrame(*w));
    w->setWindowState(w->windowState() & ~Qt::WindowMaximized);
    w->resize(fit.size());
    w->move(fit.topLeft());
    if (placement.maximized) w->setWindowState(w->windowState() | Qt::WindowMaximized);
  });
}

std::vector<std::string> QtForm::controlsOfKind(ControlKind kind) {
  std::vector<std::string> names;
  for (const ControlDesign& control : layout_.controls) {
    if (control.kind == kind) names.emplace_back(control.name);
  }
  return names;
}

bool QtForm::messageBox(const Text& message, const Text& title, MessageButtons buttons) {
  return OnGui<bool>(window_, [message, title, buttons](QWidget* w) {
    return ShowMessageBox(w, QtLinesFromGbk(message),
                          title.empty() ? QString::fromUtf8(kDefaultTitle) : QtFromGbk(title),
                          buttons == MessageButtons::OkCancel);
  });
}

Path QtForm::pickFolder(const Text& title, const Path& startFolder) {
  return OnGui<Path>(window_, [title, startFolder](QWidget* w) -> Path {
    auto* dialog = new QFileDialog(DialogOwner(w), QtFromGbk(title), QtFromPath(startFolder));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    if (!RunDialog(dialog)) return {};
    Path chosen;
    if (dialog->result() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
      chosen = PathFromQt(dialog->selectedFiles().constFirst());
    delete dialog;
    return chosen;
  });
}

}  // namespace pelvaro

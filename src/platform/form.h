#pragma once
// The seam between the program's logic and its windows. A Form is one window addressed by the
// names of its controls; the collector and the shell see windows only through it.
//
// Contract shared by every implementation:
// - Control names are UTF-8 (as declared in window_layout.h); every value is a GBK Text, but
//   for the few that must keep every character: the *Utf8 operations and the folder picker.
// - Each single operation is safe to call from any thread; a sequence of operations is not
//   atomic. The Qt implementation runs each operation on the GUI thread and waits for it, and
//   returns at once with an empty result when the calling worker has been asked to stop.
// - An operation on a control the window does not have, or of another kind, does nothing and
//   returns the empty value of its result type.
// - Rows of a list view are addressed by handles that survive the deletion of other rows; an
//   operation on a deleted row does nothing.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/path.h"
#include "platform/text.h"

namespace pelvaro {

enum class ControlKind { Label, EditBox, Button, CheckBox, ComboBox, ListView, TabControl, StatusBar, DateBox, Timer, Other };

using RowHandle = std::uint64_t;  // 0 is no row
inline constexpr RowHandle kNoRow = 0;

enum class MessageButtons { Ok, OkCancel };

// Where a window is on screen: the top-left corner of its frame, the size of its client area
// (both as it is when neither maximised nor minimised), and whether it is maximised. An empty
// size means a window that has no placement of its own (a form without a screen).
struct WindowPlacement {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool maximized = false;
  bool operator==(const WindowPlacement&) const = default;
};

class Form {
 public:
  virtual ~Form() = default;

  // The text of an edit box, the caption of a label, button or check box, the date text of a
  // date box, or the current text of a combo box.
  virtual Text text(std::string_view control) = 0;
  virtual void setText(std::string_view control, const Text& value) = 0;

  // An edit box's content with every character kept, as UTF-8 (a form without a screen keeps
  // the bytes it was given as they are): a folder, which GBK may not hold. text() of the same
  // box is its GBK form; setText() replaces both.
  virtual std::string textUtf8(std::string_view control) { return GbkToUtf8(text(control)); }
  virtual void setTextUtf8(std::string_view control, std::string_view utf8) {
    setText(control, Utf8ToGbk(utf8));
  }

  // Appends value followed by CR LF at the end of an edit box's content.
  virtual void appendLine(std::string_view control, const Text& value) = 0;

  virtual bool checked(std::string_view control) = 0;
  virtual void setChecked(std::string_view control, bool value) = 0;

  virtual void clearItems(std::string_view comboBox) = 0;
  virtual void addItem(std::string_view comboBox, const Text& item) = 0;
  virtual int itemCount(std::string_view comboBox) = 0;
  virtual Text itemText(std::string_view comboBox, int index) = 0;
  virtual int currentIndex(std::string_view comboBox) = 0;  // -1 when nothing is selected
  virtual void setCurrentIndex(std::string_view comboBox, int index) = 0;

  // List view in report mode. Rows are appended at the end.
  virtual RowHandle addRow(std::string_view listView) = 0;
  virtual void setCell(std::string_view listView, RowHandle row, int column, const Text& value) = 0;
  // Sets a cell's text together with the fraction done (0 to 1) that the text shows, so that a
  // window may draw the cell as a bar without reading the text back. A later setCell() makes it
  // a plain text cell again.
  virtual void setProgressCell(std::string_view listView, RowHandle row, int column, const Text& value,
                               double fraction) {
    (void)fraction;
    setCell(listView, row, column, value);
  }
  virtual Text cell(std::string_view listView, RowHandle row, int column) = 0;
  // A cell with every character kept (a title), as with textUtf8; cell() gives its GBK form.
  virtual void setCellUtf8(std::string_view listView, RowHandle row, int column, std::string_view utf8) {
    setCell(listView, row, column, Utf8ToGbk(utf8));
  }
  virtual std::string cellUtf8(std::string_view listView, RowHandle row, int column) {
    return GbkToUtf8(cell(listView, row, column));
  }
  virtual int rowCount(std::string_view listView) = 0;
  virtual RowHandle rowAt(std::string_view listView, int index) = 0;  // kNoRow when out of range
  virtual RowHandle selectedRow(std::string_view listView) = 0;       // kNoRow when none
  virtual void deleteRow(std::string_view listView, RowHandle row) = 0;
  virtual void clearRows(std::string_view listView) = 0;

  virtual bool visible(std::string_view control) = 0;
  virtual void setVisible(std::string_view control, bool value) = 0;

  // Status-bar panels by index from 0.
  virtual void setPanelText(std::string_view statusBar, int panel, const Text& value) = 0;
  virtual Text panelText(std::string_view statusBar, int panel) = 0;

  virtual void setTimerInterval(std::string_view timer, int milliseconds) = 0;
  virtual int timerInterval(std::string_view timer) = 0;

  // The widths in pixels that the user gave the columns of a list view, by column index; empty
  // while the list still sizes its columns itself. Setting widths counts as the user's choice.
  virtual std::vector<int> columnWidths(std::string_view listView) {
    (void)listView;
    return {};
  }
  virtual void setColumnWidths(std::string_view listView, const std::vector<int>& widths) {
    (void)listView, (void)widths;
  }

  // The window itself.
  virtual Text caption() = 0;
  virtual void setCaption(const Text& value) = 0;
  virtual void moveWindow(int left, int top) = 0;
  virtual void setWindowVisible(bool value) = 0;
  // The window's placement; setting one keeps the window on a screen it fits on.
  virtual WindowPlacement windowPlacement() { return {}; }
  virtual void setWindowPlacement(const WindowPlacement& placement) { (void)placement; }

  // The names of this window's controls of one kind, in declaration order (settings store).
  virtual std::vector<std::string> controlsOfKind(ControlKind kind) = 0;

  // A modal message box owned by this window, without icon; an empty title shows "信息：".
  // Returns true for OK. Blocks the calling thread until the user answers.
  virtual bool messageBox(const Text& message, const Text& title = {},
                          MessageButtons buttons = MessageButtons::Ok) = 0;

  // The folder-browse dialog; the chosen folder, or the empty path when cancelled.
  virtual Path pickFolder(const Text& title, const Path& startFolder) = 0;
};

}  // namespace pelvaro

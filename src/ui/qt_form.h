#pragma once
// The Form seam over one Qt window built from a layout table. Every operation runs on the
// window's thread (the GUI thread): directly when called there, otherwise posted while the
// caller waits; a caller whose worker is asked to stop gets the empty result at once.

#include <QPointer>
#include <QWidget>

#include "platform/form.h"
#include "platform/window_layout.h"

class QTreeWidgetItem;

namespace pelvaro {

// The handle of a list row built by QtForm::addRow (kNoRow for any other item or none).
RowHandle RowHandleOf(const QTreeWidgetItem* item);

class QtForm : public Form {
 public:
  // Once window is destroyed every operation does nothing and returns the empty value. layout
  // (a table with static lifetime) lists the controls in declaration order.
  QtForm(QWidget* window, const WindowDesign& layout);

  Text text(std::string_view control) override;
  void setText(std::string_view control, const Text& value) override;
  void appendLine(std::string_view control, const Text& value) override;

  bool checked(std::string_view control) override;
  void setChecked(std::string_view control, bool value) override;

  void clearItems(std::string_view comboBox) override;
  void addItem(std::string_view comboBox, const Text& item) override;
  int itemCount(std::string_view comboBox) override;
  Text itemText(std::string_view comboBox, int index) override;
  int currentIndex(std::string_view comboBox) override;
  void setCurrentIndex(std::string_view comboBox, int index) override;

  RowHandle addRow(std::string_view listView) override;
  void setCell(std::string_view listView, RowHandle row, int column, const Text& value) override;
  void setProgressCell(std::string_view listView, RowHandle row, int column, const Text& value,
                       double fraction) override;
  Text cell(std::string_view listView, RowHandle row, int column) override;
  void setCellUtf8(std::string_view listView, RowHandle row, int column, std::string_view utf8) override;
  std::string cellUtf8(std::string_view listView, RowHandle row, int column) override;
  std::string textUtf8(std::string_view control) override;
  void setTextUtf8(std::string_view control, std::string_view utf8) override;
  int rowCount(std::string_view listView) override;
  RowHandle rowAt(std::string_view listView, int index) override;
  RowHandle selectedRow(std::string_view listView) override;
  void deleteRow(std::string_view listView, RowHandle row) override;
  void clearRows(std::string_view listView) override;

  bool visible(std::string_view control) override;
  void setVisible(std::string_view control, bool value) override;

  void setPanelText(std::string_view statusBar, int panel, const Text& value) override;
  Text panelText(std::string_view statusBar, int panel) override;

  void setTimerInterval(std::string_view timer, int milliseconds) override;
  int timerInterval(std::string_view timer) override;

  Text caption() override;
  void setCaption(const Text& value) override;
  void moveWindow(int left, int top) override;
  void setWindowVisible(bool value) override;
  std::vector<int> columnWidths(std::string_view listView) override;
  void setColumnWidths(std::string_view listView, const std::vector<int>& widths) override;
  WindowPlacement windowPlacement() override;
  void setWindowPlacement(const WindowPlacement& placement) override;

  std::vector<std::string> controlsOfKind(ControlKind kind) override;

  bool messageBox(const Text& message, const Text& title = {},
                  MessageButtons buttons = MessageButtons::Ok) override;
  Path pickFolder(const Text& title, const Path& startFolder) override;

 private:
  QPointer<QWidget> window_;
  const WindowDesign& layout_;
};

}  // namespace pelvaro

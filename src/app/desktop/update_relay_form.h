#pragma once
// The start-up window as the update flow sees it. The update prompt, its progress and the button
// that opens a downloaded version live on the start-up window, which is hidden once the main
// window is shown. This form passes every operation through to the start-up window and also
// reports the update panel's texts and the moment the open button becomes visible, so that the
// program can show them where the user looks.

#include <functional>

#include "platform/form.h"

namespace pelvaro {

class UpdateRelayForm : public Form {
 public:
  struct Listeners {
    // A new text of the update panel (透明标签_更新), as it was written.
    std::function<void(const Text&)> updatePanelText;
    // The open button (超级按钮_打开) was made visible; its caption at that moment.
    std::function<void(const Text&)> openButtonShown;
  };

  // Both must outlive this form; listeners are called on the writer's thread.
  UpdateRelayForm(Form& startup, Listeners listeners) : startup_(startup), listeners_(std::move(listeners)) {}

  Text text(std::string_view control) override { return startup_.text(control); }
  void setText(std::string_view control, const Text& value) override;
  void appendLine(std::string_view control, const Text& value) override {
    startup_.appendLine(control, value);
  }

  bool checked(std::string_view control) override { return startup_.checked(control); }
  void setChecked(std::string_view control, bool value) override { startup_.setChecked(control, value); }

  void clearItems(std::string_view comboBox) override { startup_.clearItems(comboBox); }
  void addItem(std::string_view comboBox, const Text& item) override { startup_.addItem(comboBox, item); }
  int itemCount(std::string_view comboBox) override { return startup_.itemCount(comboBox); }
  Text itemText(std::string_view comboBox, int index) override { return startup_.itemText(comboBox, index); }
  int currentIndex(std::string_view comboBox) override { return startup_.currentIndex(comboBox); }
  void setCurrentIndex(std::string_view comboBox, int index) override {
    startup_.setCurrentIndex(comboBox, index);
  }

  RowHandle addRow(std::string_view listView) override { return startup_.addRow(listView); }
  void setCell(std::string_view listView, RowHandle row, int column, const Text& value) override {
    startup_.setCell(listView, row, column, value);
  }
  Text cell(std::string_view listView, RowHandle row, int column) override {
    return startup_.cell(listView, row, column);
  }
  int rowCount(std::string_view listView) override { return startup_.rowCount(listView); }
  RowHandle rowAt(std::string_view listView, int index) override { return startup_.rowAt(listView, index); }
  RowHandle selectedRow(std::string_view listView) override { return startup_.selectedRow(listView); }
  void deleteRow(std::string_view listView, RowHandle row) override { startup_.deleteRow(listView, row); }
  void clearRows(std::string_view listView) override { startup_.clearRows(listView); }

  bool visible(std::string_view control) override { return startup_.visible(control); }
  void setVisible(std::string_view control, bool value) override;

  void setPanelText(std::string_view statusBar, int panel, const Text& value) override {
    startup_.setPanelText(statusBar, panel, value);
  }
  Text panelText(std::string_view statusBar, int panel) override {
    return startup_.panelText(statusBar, panel);
  }

  void setTimerInterval(std::string_view timer, int milliseconds) override {
    startup_.setTimerInterval(timer, milliseconds);
  }
  int timerInterval(std::string_view timer) override { return startup_.timerInterval(timer); }

  Text caption() override { return startup_.caption(); }
  void setCaption(const Text& value) override { startup_.setCaption(value); }
  void moveWindow(int left, int top) override { startup_.moveWindow(left, top); }
  void setWindowVisible(bool value) override { startup_.setWindowVisible(value); }

  std::vector<std::string> controlsOfKind(ControlKind kind) override { return startup_.controlsOfKind(kind); }

  bool messageBox(const Text& message, const Text& title = {},
                  MessageButtons buttons = MessageButtons::Ok) override {
    return startup_.messageBox(message, title, buttons);
  }
  Path pickFolder(const Text& title, const Path& startFolder) override {
    return startup_.pickFolder(title, startFolder);
  }

 private:
  Form& startup_;
  Listeners listeners_;
};

}  // namespace pelvaro

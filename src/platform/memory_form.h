#pragma once
// A Form without a window: the controls of a window layout held in memory, with their
// design-time defaults. It serves the core's tests and the terminal front end. Message boxes
// and the folder picker are answered by replaceable handlers; observers see log lines and cell
// changes as they happen. Like the Qt form, it ignores every change asked for by a worker whose
// stop was requested, so nothing of a stopped job reaches the window.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/form.h"
#include "platform/window_layout.h"

namespace pelvaro {

class MemoryForm : public Form {
 public:
  explicit MemoryForm(const WindowDesign& window);
  ~MemoryForm() override;

  // A MemoryForm with the main window's or the start-up window's controls.
  static std::unique_ptr<MemoryForm> MainWindow();
  static std::unique_ptr<MemoryForm> StartupWindow();

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
  bool messageBox(const Text& message, const Text& title, MessageButtons buttons) override;
  Path pickFolder(const Text& title, const Path& startFolder) override;

  // Selects a row of a list view (the user's click); kNoRow clears the selection.
  void selectRow(std::string_view listView, RowHandle row);
  // The fraction a progress cell was given with its text; none for a plain text cell.
  std::optional<double> cellFraction(std::string_view listView, RowHandle row, int column);

  struct ShownMessage {
    Text message;
    Text title;  // as shown: "信息：" when the caller gave none
    MessageButtons buttons;
  };
  // Every message box shown so far, oldest first.
  std::vector<ShownMessage> shownMessages();

  using MessageHandler = std::function<bool(const ShownMessage&)>;
  using FolderHandler = std::function<Path(const Text& title, const Path& startFolder)>;
  using LineObserver = std::function<void(std::string_view control, const Text& line)>;
  using CellObserver = std::function<void(RowHandle row, int column, const Text& value)>;
  // Handlers and observers run on the calling thread, outside the form's lock.
  void setMessageHandler(MessageHandler handler);  // default: answers OK
  void setFolderHandler(FolderHandler handler);    // default: cancels
  void setLineObserver(LineObserver observer);
  void setCellObserver(CellObserver observer);

 private:
  struct Row {
    RowHandle handle;
    std::vector<Text> cells;
    std::map<int, double> fractions;  // progress cells by column
    std::map<int, std::string> utf8;  // cells set with every character, by column
  };
  struct Control {
    ControlKind kind = ControlKind::Other;
    Text text;
    std::optional<std::string> utf8;  // the content as given to setTextUtf8, until setText
    bool checked = false;
    bool visible = true;
    std::vector<Text> items;
    int current = -1;
    std::vector<Row> rows;
    RowHandle selected = kNoRow;
    std::map<int, Text> panels;
    int interval = 0;
    std::vector<int> widths;  // list views: the columns' widths once set
  };

  Control* find(std::string_view name, ControlKind kind);
  Row* findRow(Control& list, RowHandle row);
  void writeCell(std::string_view listView, RowHandle row, int column, const Text& value,
                 std::optional<double> fraction, std::optional<std::string_view> utf8 = std::nullopt);

  std::mutex mutex_;
  std::vector<std::string> order_;
  std::map<std::string, Control, std::less<>> controls_;
  Text caption_;
  int left_ = 0;
  WindowPlacement placement_;
  RowHandle nextHandle_ = 1;
  std::vector<ShownMessage> messages_;
  MessageHandler messageHandler_;
  FolderHandler folderHandler_;
  LineObserver lineObserver_;
  CellObserver cellObserver_;
};

}  // namespace pelvaro

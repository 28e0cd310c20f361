#include "platform/memory_form.h"

#include "platform/worker.h"

namespace pelvaro {

MemoryForm::MemoryForm(const WindowDesign& window) : caption_(Gbk(window.designCaption)), left_(window.left) {
  for (const auto& design : window.controls) {
    Control control;
    control.kind = design.kind;
    control.visible = design.visible;
    control.checked = design.checkedAtStart;
    if (design.kind != ControlKind::TabControl) control.text = Gbk(design.text);
    if (design.kind == ControlKind::Timer) control.interval = 1000;
    order_.emplace_back(design.name);
    controls_.emplace(std::string(design.name), std::move(control));
  }
}

MemoryForm::~MemoryForm() = default;

std::unique_ptr<MemoryForm> MemoryForm::MainWindow() {
  auto form = std::make_unique<MemoryForm>(MainWindowDesign());
  form->setText(main_window::kSeedLink, Utf8ToGbk(DefaultSeedLinkUtf8()));
  return form;
}

std::unique_ptr<MemoryForm> MemoryForm::StartupWindow() { return std::make_unique<MemoryForm>(StartupWindowDesign()); }

MemoryForm::Control* MemoryForm::find(std::string_view name, ControlKind kind) {
  auto it = controls_.find(name);
  if (it == controls_.end()) return nullptr;
  if (kind != ControlKind::Other && it->second.kind != kind) return nullptr;
  return &it->second;
}

MemoryForm::Row* MemoryForm::findRow(Control& list, RowHandle row) {
  for (auto& r : list.rows) {
    if (r.handle == row) return &r;
  }
  return nullptr;
}

Text MemoryForm::text(std::string_view control) {
  std::lock_guard lock(mutex_);
  Control* c = find(control, ControlKind::Other);
  if (c == nullptr) return {};
  if (c->kind == ControlKind::ComboBox) {
    return c->current >= 0 && c->current < static_cast<int>(c->items.size()) ? c->items[c->current] : Text();
  }
  return c->text;
}

void MemoryForm::setText(std::string_view control, const Text& value) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  if (Control* c = find(control, ControlKind::Other)) {
    c->text = value;
    c->utf8.reset();
  }
}

std::string MemoryForm::textUtf8(std::string_view control) {
  {
    std::lock_guard lock(mutex_);
    Control* c = find(control, ControlKind::EditBox);
    if (c == nullptr) return {};
    if (c->utf8) return *c->utf8;
  }
  return GbkToUtf8(text(control));
}

void MemoryForm::setTextUtf8(std::string_view control, std::string_view utf8) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  if (Control* c = find(control, ControlKind::EditBox)) {
    c->text = Utf8ToGbk(utf8);
    c->utf8 = std::string(utf8);
  }
}

void MemoryForm::appendLine(std::string_view control, const Text& value) {
  if (StopRequested()) return;
  LineObserver observer;
  {
    std::lock_guard lock(mutex_);
    Control* c = find(control, ControlKind::EditBox);
    if (c == nullptr) return;
    c->text += value;
    c->text += "\r\n";
    c->utf8.reset();
    observer = lineObserver_;
  }
  if (observer) observer(control, value);
}

bool MemoryForm::checked(std::string_view control) {
  std::lock_guard lock(mutex_);
  Control* c = find(control, ControlKind::CheckBox);
  return c != nullptr && c->checked;
}

void MemoryForm::setChecked(std::string_view control, bool value) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  if (Control* c = find(control, ControlKind::CheckBox)) c->checked = value;
}

void MemoryForm::clearItems(std::string_view comboBox) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  if (Control* c = find(comboBox, ControlKind::ComboBox)) {
    c->items.clear();
    c->current = -1;
  }
}

void MemoryForm::addItem(std::string_view comboBox, const Text& item) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  if (Control* c = find(comboBox, ControlKind::ComboBox)) c->items.push_back(item);
}

int MemoryForm::itemCount(std::string_view comboBox) {
  std::lock_guard lock(mutex_);
  Control* c = find(comboBox, ControlKind::ComboBox);
  return c == nullptr ? 0 : static_cast<int>(c->items.size());
}

Text MemoryForm::itemText(std::string_view comboBox, int index) {
  std::lock_guard lock(mutex_);
  Control* c = find(comboBox, ControlKind::ComboBox);
  if (c == nullptr || index < 0 || index >= static_cast<int>(c->items.size())) return {};
  return c->items[index];
}

int MemoryForm::currentIndex(std::string_view comboBox) {
  std::lock_guard lock(mutex_);
  Control* c = find(comboBox, ControlKind::ComboBox);
  return c == nullptr ? -1 : c->current;
}

void MemoryForm::setCurrentIndex(std::string_view comboBox, int index) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  Control* c = find(comboBox, ControlKind::ComboBox);
  if (c == nullptr) return;
  c->current = index >= 0 && index < static_cast<int>(c->items.size()) ? index : -1;
}

RowHandle MemoryForm::addRow(std::string_view listView) {
  if (StopRequested()) return kNoRow;
  std::lock_guard lock(mutex_);
  Control* c = find(listView, ControlKind::ListView);
  if (c == nullptr) return kNoRow;
  RowHandle handle = nextHandle_++;
  c->rows.push_back(Row{handle, std::vector<Text>(main_window::kColumnCount), {}, {}});
  return handle;
}

void MemoryForm::setCell(std::string_view listView, RowHandle row, int column, const Text& value) {
  writeCell(listView, row, column, value, std::nullopt);
}

void MemoryForm::setProgressCell(std::string_view listView, RowHandle row, int column, const Text& value,
                                 double fraction) {
  writeCell(listView, row, column, value, fraction);
}

void MemoryForm::setCellUtf8(std::string_view listView, RowHandle row, int column, std::string_view utf8) {
  writeCell(listView, row, column, Utf8ToGbk(utf8), std::nullopt, utf8);
}

std::string MemoryForm::cellUtf8(std::string_view listView, RowHandle row, int column) {
  {
    std::lock_guard lock(mutex_);
    Control* c = find(listView, ControlKind::ListView);
    Row* r = c == nullptr || column < 0 ? nullptr : findRow(*c, row);
    if (r == nullptr) return {};
    if (auto it = r->utf8.find(column); it != r->utf8.end()) return it->second;
  }
  return GbkToUtf8(cell(listView, row, column));
}

void MemoryForm::writeCell(std::string_view listView, RowHandle row, int column, const Text& value,
                           std::optional<double> fraction, std::optional<std::string_view> utf8) {
  if (StopRequested()) return;
  CellObserver observer;
  {
    std::lock_guard lock(mutex_);
    Control* c = find(listView, ControlKind::ListView);
    if (c == nullptr || column < 0) return;
    Row* r = findRow(*c, row);
    if (r == nullptr) return;
    if (column >= static_cast<int>(r->cells.size())) r->cells.resize(column + 1);
    r->cells[column] = value;
    if (utf8) {
      r->utf8[column] = std::string(*utf8);
    } else {
      r->utf8.erase(column);
    }
    if (fraction) {
      r->fractions[column] = *fraction;
    } else {
      r->fractions.erase(column);
    }
    observer = cellObserver_;
  }
  if (observer) observer(row, column, value);
}

std::optional<double> MemoryForm::cellFraction(std::string_view listView, RowHandle row, int column) {
  std::lock_guard lock(mutex_);
  Control* c = find(listView, ControlKind::ListView);
  Row* r = c == nullptr ? nullptr : findRow(*c, row);
  if (r == nullptr) return std::nullopt;
  auto it = r->fractions.find(column);
  return it == r->fractions.end() ? std::nullopt : std::optional<double>(it->second);
}

std::vector<int> MemoryForm::columnWidths(std::string_view listView) {
  std::lock_guard lock(mutex_);
  Control* c = find(listView, ControlKind::ListView);
  return c == nullptr ? std::vector<int>() : c->widths;
}

void MemoryForm::setColumnWidths(std::string_view listView, const std::vector<int>& widths) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  if (Control* c = find(listView, ControlKind::ListView)) c->widths = widths;
}

Text MemoryForm::cell(std::string_view listView, RowHandle row, int column) {
  std::lock_guard lock(mutex_);
  Control* c = find(listView, ControlKind::ListView);
  if (c == nullptr || column < 0) return {};
  Row* r = findRow(*c, row);
  if (r == nullptr || column >= static_cast<int>(r->cells.size())) return {};
  return r->cells[column];
}

int MemoryForm::rowCount(std::string_view listView) {
  std::lock_guard lock(mutex_);
  Control* c = find(listView, ControlKind::ListView);
  return c == nullptr ? 0 : static_cast<int>(c->rows.size());
}

RowHandle MemoryForm::rowAt(std::string_view listView, int index) {
  std::lock_guard lock(mutex_);
  Control* c = find(listView, ControlKind::ListView);
  if (c == nullptr || index < 0 || index >= static_cast<int>(c->rows.size())) return kNoRow;
  return c->rows[index].handle;
}

RowHandle MemoryForm::selectedRow(std::string_view listView) {
  std::lock_guard lock(mutex_);
  Control* c = find(listView, ControlKind::ListView);
  return c == nullptr ? kNoRow : c->selected;
}

void MemoryForm::selectRow(std::string_view listView, RowHandle row) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  Control* c = find(listView, ControlKind::ListView);
  if (c != nullptr) c->selected = findRow(*c, row) != nullptr ? row : kNoRow;
}

void MemoryForm::deleteRow(std::string_view listView, RowHandle row) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  Control* c = find(listView, ControlKind::ListView);
  if (c == nullptr) return;
  std::erase_if(c->rows, [row](const Row& r) { return r.handle == row; });
  if (c->selected == row) c->selected = kNoRow;
}

void MemoryForm::clearRows(std::string_view listView) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  Control* c = find(listView, ControlKind::ListView);
  if (c == nullptr) return;
  c->rows.clear();
  c->selected = kNoRow;
}

bool MemoryForm::visible(std::string_view control) {
  std::lock_guard lock(mutex_);
  Control* c = find(control, ControlKind::Other);
  return c != nullptr && c->visible;
}

void MemoryForm::setVisible(std::string_view control, bool value) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  if (Control* c = find(control, ControlKind::Other)) c->visible = value;
}

void MemoryForm::setPanelText(std::string_view statusBar, int panel, const Text& value) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  if (Control* c = find(statusBar, ControlKind::StatusBar)) c->panels[panel] = value;
}

Text MemoryForm::panelText(std::string_view statusBar, int panel) {
  std::lock_guard lock(mutex_);
  Control* c = find(statusBar, ControlKind::StatusBar);
  if (c == nullptr) return {};
  auto it = c->panels.find(panel);
  return it == c->panels.end() ? Text() : it->second;
}

void MemoryForm::setTimerInterval(std::string_view timer, int milliseconds) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  if (Control* c = find(timer, ControlKind::Timer)) c->interval = milliseconds;
}

int MemoryForm::timerInterval(std::string_view timer) {
  std::lock_guard lock(mutex_);
  Control* c = find(timer, ControlKind::Timer);
  return c == nullptr ? 0 : c->interval;
}

Text MemoryForm::caption() {
  std::lock_guard lock(mutex_);
  return caption_;
}

void MemoryForm::setCaption(const Text& value) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  caption_ = value;
}

void MemoryForm::moveWindow(int left, int /*top*/) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  left_ = left;
}

WindowPlacement MemoryForm::windowPlacement() {
  std::lock_guard lock(mutex_);
  return placement_;
}

void MemoryForm::setWindowPlacement(const WindowPlacement& placement) {
  if (StopRequested()) return;
  std::lock_guard lock(mutex_);
  placement_ = placement;
  left_ = placement.left;
}

void MemoryForm::setWindowVisible(bool value) { (void)value; }


std::vector<std::string> MemoryForm::controlsOfKind(ControlKind kind) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  for (const auto& name : order_) {
    if (controls_.find(name)->second.kind == kind) names.push_back(name);
  }
  return names;
}

bool MemoryForm::messageBox(const Text& message, const Text& title, MessageButtons buttons) {
  if (StopRequested()) return false;
  ShownMessage shown{message, title.empty() ? Gbk("信息：") : title, buttons};
  MessageHandler handler;
  {
    std::lock_guard lock(mutex_);
    messages_.push_back(shown);
    handler = messageHandler_;
  }
  return handler ? handler(shown) : true;
}

Path MemoryForm::pickFolder(const Text& title, const Path& startFolder) {
  FolderHandler handler;
  {
    std::lock_guard lock(mutex_);
    handler = folderHandler_;
  }
  return handler ? handler(title, startFolder) : Path();
}

std::vector<MemoryForm::ShownMessage> MemoryForm::shownMessages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

void MemoryForm::setMessageHandler(MessageHandler handler) {
  std::lock_guard lock(mutex_);
  messageHandler_ = std::move(handler);
}

void MemoryForm::setFolderHandler(FolderHandler handler) {
  std::lock_guard lock(mutex_);
  folderHandler_ = std::move(handler);
}

void MemoryForm::setLineObserver(LineObserver observer) {
  std::lock_guard lock(mutex_);
  lineObserver_ = std::move(observer);
}

void MemoryForm::setCellObserver(CellObserver observer) {
  std::lock_guard lock(mutex_);
  cellObserver_ = std::move(observer);
}

}  // namespace pelvaro

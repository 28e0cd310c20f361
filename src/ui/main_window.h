#pragma once
// The collector's working window: the layout of named controls, the list view's pop-up menu
// and the bindings of its events. What the events do is up to the hooks the program supplies.

#include <QMainWindow>
#include <functional>
#include <memory>

#include "ui/qt_form.h"

class QMenu;

namespace pelvaro {

class MainWindow : public QMainWindow {
 public:
  using Hook = std::function<void(MainWindow&)>;
  struct Events {
    Hook created;             // at the end of construction, before the window is shown
    Hook closing;             // the user closes the window
    Hook crawlClicked;        // 按钮1
    Hook saveClicked;         // 按钮2
    Hook contributeClicked;   // 按钮_开始
    Hook folderLabelPressed;  // left button pressed on 标签1
    Hook addToIndexChosen;    // menu "加入索引序列"
    Hook clearListChosen;     // menu "清空列表"
    Hook cancelChosen;        // menu "取消操作"
  };

  explicit MainWindow(Events events = {});
  ~MainWindow() override;

  Form& form() { return *form_; }
  QMenu* contextMenu() const { return menu_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fire(const Hook& hook);
  void bindControls();
  void attachHoursSpinner();

  Events events_;
  std::unique_ptr<QtForm> form_;
  QMenu* menu_ = nullptr;
};

}  // namespace pelvaro

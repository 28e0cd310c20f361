#pragma once
// The first window on screen: notice board, help page, toolbar, status bar and the one-shot
// timer that drives the start-up. What its events do is up to the hooks the program supplies.

#include <QMainWindow>
#include <functional>
#include <memory>

#include "ui/qt_form.h"

namespace pelvaro {

class StartupWindow : public QMainWindow {
 public:
  using Hook = std::function<void(StartupWindow&)>;
  struct Events {
    Hook created;                // at the end of construction, before the window is shown
    Hook closing;                // the user closes the window (its frame or the Esc key)
    Hook timerTick;              // 时钟1; the handler stops it by setting interval 0
    Hook speakClicked;           // 语音介绍
    Hook helpClicked;            // 帮助教程
    Hook closeClicked;           // 关闭软件
    Hook openNewVersionClicked;  // 超级按钮_打开
  };

  // The timer runs from construction with its design interval of one second.
  explicit StartupWindow(Events events = {});
  ~StartupWindow() override;

  Form& form() { return *form_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void fire(const Hook& hook);

  Events events_;
  std::unique_ptr<QtForm> form_;
};

}  // namespace pelvaro

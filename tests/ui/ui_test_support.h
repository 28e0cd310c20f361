#pragma once
// Helpers shared by the window tests: running a job on a worker while the test thread keeps the
// event loop turning, and answering modal dialogs the way a user would.

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/worker.h"

namespace pelvaro::test {

// Runs job on a worker and turns the event loop until the job has returned.
inline void RunOnWorker(const std::function<void()>& job) {
  QEventLoop loop;
  Worker worker;
  worker.Start([&] {
    job();
    QMetaObject::invokeMethod(
        &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec();
  worker.Join();
}

// The dialog the user sees: the modal one, or a free-standing dialog (one without an owner on
// screen blocks nothing).
inline QWidget* OpenDialog() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (qobject_cast<QDialog*>(widget) != nullptr && widget->isVisible()) return widget;
  }
  return nullptr;
}

// Calls answer(dialog) on the first dialog that opens, from the event loop.
class ModalAnswerer {
 public:
  explicit ModalAnswerer(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
    QObject::connect(&poll_, &QTimer::timeout, [this] {
      if (QWidget* modal = OpenDialog()) {
        poll_.stop();
        answer_(modal);
      }
    });
    poll_.start(5);
  }

 private:
  std::function<void(QWidget*)> answer_;
  QTimer poll_;
};

// Clicks the tab of the main tab control that is not current through the window system, as
// the user would (a click a modal dialog blocks never arrives); true when the window answered.
inline bool ClickOtherTab(QTabWidget* tabs) {
  const int other = tabs->currentIndex() == 0 ? 1 : 0;
  QTabBar* bar = tabs->tabBar();
  QWidget* window = bar->window();
  const QPoint at = bar->mapTo(window, bar->tabRect(other).center());
  QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at);
  QApplication::processEvents();
  return tabs->currentIndex() == other;
}

}  // namespace pelvaro::test

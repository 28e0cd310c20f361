#pragma once
// Helpers shared by the window tests: running a job on a worker while the test thread keeps the
// event loop turning, and answering modal dialogs the way a user would.

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
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

}  // namespace pelvaro::test

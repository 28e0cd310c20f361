#include "ui/gui_wait.h"

#include <QEventLoop>
#include <QTimer>

#include "platform/worker.h"

namespace pelvaro {

void InstallQtGuiWaitHook() {
  InstallGuiWaitHook([](std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
  });
}

}  // namespace pelvaro

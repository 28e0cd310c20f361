#include "ui/gui_wait.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "platform/worker.h"

namespace pelvaro {
namespace {

// A wait on the GUI thread keeps serving the window's events instead of freezing it.
TEST(GuiWaitHook, WaitOnTheGuiThreadServesEvents) {
  InstallQtGuiWaitHook();
  bool served = false;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [&served] { served = true; }, Qt::QueuedConnection);
  EXPECT_TRUE(WaitFor(std::chrono::milliseconds(200)));
  EXPECT_TRUE(served);
}

}  // namespace
}  // namespace pelvaro

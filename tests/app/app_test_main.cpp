// The desktop program's tests need one application object for the whole run, created before
// any widget, and the GUI wait hook the program's entry installs.
#include <gtest/gtest.h>

#include <QApplication>

#include "support/test_screen.h"
#include "ui/application_setup.h"
#include "ui/gui_wait.h"

int main(int argc, char** argv) {
  pelvaro::test::UseTestScreen();
  QApplication app(argc, argv);
  pelvaro::PrepareApplication();
  QApplication::setQuitOnLastWindowClosed(false);
  pelvaro::InstallQtGuiWaitHook();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// The window tests need one application object for the whole run, created before any widget.
#include <gtest/gtest.h>

#include <QApplication>

#include "support/test_screen.h"
#include "ui/application_setup.h"

int main(int argc, char** argv) {
  pelvaro::test::UseTestScreen();
  QApplication app(argc, argv);
  pelvaro::PrepareApplication();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#pragma once
// A private home and the simulator for each desktop test: HOME and the XDG folders point into a
// temporary folder, the simulator runs on ephemeral ports (it sets the host variables and
// PELVARO_RUN_DIR), and the program's data folder exists so that the run log is written.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/text.h"
#include "support/sim_process.h"
#include "ui/qt_text.h"

namespace pelvaro::test {

// Only a guard against a hang: no test depends on how long anything takes.
inline constexpr int kHangGuardMs = 120000;

inline bool WaitUntil(const std::function<bool()>& condition) {
  return QTest::qWaitFor(condition, kHangGuardMs);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

class DesktopTest : public ::testing::Test {
 protected:
  // Simulator flags: small files, so that a crawl takes moments.
  virtual std::vector<std::string> simulatorFlags() const { return {"--size-scale", "0.01"}; }

  void SetUp() override {
    sim_ = std::make_unique<testing::SimProcess>(simulatorFlags());
    ASSERT_TRUE(sim_->started());
    runDir_ = sim_->runDir();
    home_ = std::filesystem::path(runDir_).parent_path().string() + "/home";
    std::filesystem::create_directories(home_ + "/Desktop");
    std::filesystem::create_directories(home_ + "/Documents");
    std::filesystem::create_directories(runDir_ + "/data");
    setenv("HOME", home_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home_ + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home_ + "/.local/share").c_str(), 1);
  }

  void TearDown() override { sim_.reset(); }

  // Accepts the disclaimer ahead of the start, as an earlier run would have.
  void acceptDisclaimer() const { std::ofstream(markerPath()) << "accepted"; }
  std::string markerPath() const { return home_ + "/Documents/tmbq.dll"; }
  std::string settingsPath() const { return runDir_ + "/data/setsoft.ini"; }

  // The settings file as UTF-8 text.
  std::string settingsText() const { return GbkToUtf8(ReadFile(settingsPath())); }

  std::unique_ptr<testing::SimProcess> sim_;
  std::string runDir_;
  std::string home_;
};

// Clicks a button of a window by its name, as the user would.
template <class Window>
bool Click(Window& window, std::string_view name) {
  auto* button = window.template findChild<QAbstractButton*>(QtFromUtf8(name));
  if (button == nullptr) return false;
  button->click();
  return true;
}

}  // namespace pelvaro::test

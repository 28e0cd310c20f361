#pragma once
// A private home for each test: HOME, the XDG folders and PELVARO_RUN_DIR point into a
// temporary folder that is removed afterwards, so no test touches the real home.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace pelvaro::testing {

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pelvaro-shell-XXXXXX";
    root_ = mkdtemp(pattern);
    home_ = root_ + "/home";
    runDir_ = root_ + "/run";
    std::filesystem::create_directories(home_);
    std::filesystem::create_directories(runDir_);
    setenv("HOME", home_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home_ + "/.config").c_str(), 1);
    setenv("PELVARO_RUN_DIR", runDir_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
  }
  static void Write(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }

  std::string root_;
  std::string home_;
  std::string runDir_;
};

}  // namespace pelvaro::testing

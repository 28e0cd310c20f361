#include "platform/data_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace pelvaro {
namespace {

TEST(DataFolder, UserDataFolderFollowsTheXdgRules) {
  struct Case {
    const char* dataHome;
    const char* home;
    std::string expected;
  };
  const char* savedData = getenv("XDG_DATA_HOME");
  const char* savedHome = getenv("HOME");
  const std::string keepData = savedData ? savedData : "", keepHome = savedHome ? savedHome : "";
  for (const Case& c :
       {Case{"/x/share", "/h", "/x/share/pelvaro-collector"},
        Case{"relative", "/h", "/h/.local/share/pelvaro-collector"},
        Case{nullptr, "/h", "/h/.local/share/pelvaro-collector"}, Case{nullptr, nullptr, ""}}) {
    c.dataHome ? setenv("XDG_DATA_HOME", c.dataHome, 1) : unsetenv("XDG_DATA_HOME");
    c.home ? setenv("HOME", c.home, 1) : unsetenv("HOME");
    EXPECT_EQ(UserDataFolder(), c.expected);
  }
  savedData ? setenv("XDG_DATA_HOME", keepData.c_str(), 1) : unsetenv("XDG_DATA_HOME");
  savedHome ? setenv("HOME", keepHome.c_str(), 1) : unsetenv("HOME");
}

// A folder named by PELVARO_RUN_DIR is created when missing; one that cannot be made is an error
// that names the variable, and never a silent fall-back.
TEST(DataFolder, TheNamedFolderIsCreatedOrRefused) {
  const char* saved = getenv("PELVARO_RUN_DIR");
  const std::string keep = saved ? saved : "";
  const std::string fresh = ::testing::TempDir() + "data-folder-test/a/b";
  setenv("PELVARO_RUN_DIR", fresh.c_str(), 1);
  DataFolderChoice choice = ChooseDataFolder();
  EXPECT_EQ(choice.error, "");
  EXPECT_EQ(choice.folder, fresh);
  EXPECT_EQ(std::string(getenv("PELVARO_RUN_DIR")), fresh);

  setenv("PELVARO_RUN_DIR", "/proc/self/status/data", 1);  // below a file: never a folder
  choice = ChooseDataFolder();
  EXPECT_NE(choice.error.find("/proc/self/status/data (PELVARO_RUN_DIR) cannot be written"), std::string::npos)
      << choice.error;
  saved ? setenv("PELVARO_RUN_DIR", keep.c_str(), 1) : unsetenv("PELVARO_RUN_DIR");
}

}  // namespace
}  // namespace pelvaro

#include "platform/data_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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
    EXPECT_EQ(UserDataFolder().bytes(), c.expected);
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
  EXPECT_EQ(choice.folder.bytes(), fresh);
  EXPECT_EQ(std::string(getenv("PELVARO_RUN_DIR")), fresh);

  setenv("PELVARO_RUN_DIR", "/proc/self/status/data", 1);  // below a file: never a folder
  choice = ChooseDataFolder();
  EXPECT_NE(choice.error.find("/proc/self/status/data (PELVARO_RUN_DIR) cannot be written"), std::string::npos)
      << choice.error;
  saved ? setenv("PELVARO_RUN_DIR", keep.c_str(), 1) : unsetenv("PELVARO_RUN_DIR");
}

TEST(DataFolder, SystemFoldersAreTold) {
  for (const char* folder :
       {"/usr/bin", "/usr/local/bin", "/bin", "/sbin", "/opt/pelvaro", "/lib64", "/usr"}) {
    EXPECT_TRUE(IsSystemFolder(Path(folder))) << folder;
  }
  for (const char* folder : {"/home/u/pelvaro", "/tmp/usr/bin", "/usrx/bin", "/srv/tools", "/optical"}) {
    EXPECT_FALSE(IsSystemFolder(Path(folder))) << folder;
  }
}

// A program in a system folder keeps nothing beside itself, even where it could write (root);
// a portable copy keeps its data and videos in its own folder. HOME is used byte for byte.
TEST(DataFolder, TheProgramsFolderServesOnlyAPortableCopy) {
  const char* saved[] = {getenv("PELVARO_RUN_DIR"), getenv("HOME"), getenv("XDG_DATA_HOME"),
                         getenv("XDG_CONFIG_HOME")};
  const std::string keep[] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : "", saved[2] ? saved[2] : "",
                              saved[3] ? saved[3] : ""};
  const std::string home = ::testing::TempDir() + "data-folder-Jörg-数据", portable = home + "/portable";
  std::filesystem::create_directories(portable);
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_CONFIG_HOME");
  struct Case {
    std::string program, data, videos;
  };
  for (const Case& c : {Case{"/usr/bin", home + "/.local/share/pelvaro-collector", home + "/Videos/Pelvaro"},
                        Case{portable, portable, portable + "/video"}}) {
    unsetenv("PELVARO_RUN_DIR");
    const DataFolderChoice choice = ChooseDataFolderBeside(Path(c.program));
    EXPECT_EQ(choice.error, "") << c.program;
    EXPECT_EQ(choice.folder.bytes(), c.data) << c.program;
    EXPECT_EQ(DefaultVideoFolder().bytes(), c.videos) << c.program;
  }
  EXPECT_EQ(std::filesystem::exists("/usr/bin/pelvarolishi") || std::filesystem::exists("/usr/bin/data"),
            false);
  // Back to the layout of a named data folder, which the other tests expect.
  setenv("PELVARO_RUN_DIR", portable.c_str(), 1);
  ChooseDataFolder();
  const char* names[] = {"PELVARO_RUN_DIR", "HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
  for (int i = 0; i < 4; ++i) saved[i] ? setenv(names[i], keep[i].c_str(), 1) : unsetenv(names[i]);
  std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace pelvaro

#include "platform/files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/safe_name.h"

namespace pelvaro {
namespace {

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pelvaro-files-XXXXXX";
    root_ = mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  std::string root_;
};

TEST_F(FilesTest, ChineseNamesAreStoredAsUtf8) {
  Text folder = JoinPath(root_, Gbk("视频/娱乐"));
  ASSERT_TRUE(CreateFolders(folder));
  EXPECT_TRUE(std::filesystem::is_directory(root_ + "/视频/娱乐"));
  Text file = JoinPath(folder, Gbk("标题.mp4"));
  ASSERT_TRUE(WriteFileAtomically(file, "abc"));
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FolderExists(file));
  EXPECT_EQ(ReadWholeFile(file).value_or(""), "abc");
  EXPECT_EQ(ListFiles(folder, ".MP4"), std::vector<Text>{Gbk("标题.mp4")});
  EXPECT_TRUE(FreeSpaceBytes(JoinPath(folder, "not/yet/there")).has_value());
}

TEST_F(FilesTest, RenameNeverReplacesAndAtomicWriteLeavesNoTemporary) {
  Text a = JoinPath(root_, "a");
  Text b = JoinPath(root_, "b");
  ASSERT_TRUE(WriteFileAtomically(a, "new"));
  ASSERT_TRUE(WriteFileAtomically(b, "old"));
  EXPECT_FALSE(RenameNoReplace(a, b));
  EXPECT_EQ(ReadWholeFile(b).value_or(""), "old");
  ASSERT_TRUE(WriteFileAtomically(b, "replaced"));
  EXPECT_EQ(ReadWholeFile(b).value_or(""), "replaced");
  EXPECT_EQ(ListFiles(root_, "").size(), 2u);
  EXPECT_TRUE(RemoveFile(a));
  EXPECT_FALSE(WriteFileAtomically(JoinPath(root_, "missing/x"), "y"));
}

TEST(SafeFileName, HostileNamesStayOnePathComponent) {
  const std::pair<Text, Text> cases[] = {
      {"../etc/passwd", ".._etc_passwd"},
      {"/abs", "_abs"},
      {"a\\b", "a_b"},
      {"..", "_"},
      {".", "_"},
      {"", "_"},
      {"a:b*c?d\"e<f>g|h", "a_b_c_d_e_f_g_h"},
      {std::string("x\0y\x1fz", 5), "x_y_z"},
      {Gbk("娱乐"), Gbk("娱乐")},
      {"\x81/x", "__x"},  // a lead byte without a valid trail byte is no character
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(SafeFileName(input), expected) << input;
}

TEST(SafeFileName, LongNamesFitWithTheSuffixAtACharacterBoundary) {
  Text longChinese;
  for (int i = 0; i < 150; ++i) longChinese += Gbk("标");
  Text safe = SafeFileName(longChinese);
  EXPECT_LE(GbkToUtf8(safe).size() + 9, 255u);
  EXPECT_GT(GbkToUtf8(safe).size() + 9, 250u);
  EXPECT_EQ(safe.size() % 2, 0u);
  EXPECT_EQ(SafeFileName(std::string(300, 'a')).size(), 246u);

  // Mixed one- and two-byte characters, of any length, cut at the same boundary as a short one.
  Text mixed;
  for (int i = 0; i < 20000; ++i) mixed += Gbk("a标·");
  Text cut = SafeFileName(mixed);
  EXPECT_LE(GbkToUtf8(cut).size() + 9, 255u);
  EXPECT_GT(GbkToUtf8(cut).size() + 9, 248u);
  EXPECT_EQ(cut, SafeFileName(mixed.substr(0, 600)));
  EXPECT_EQ(GbkToUtf8(cut).substr(0, 6), "a标·");
}

}  // namespace
}  // namespace pelvaro

#include "platform/files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/partial_files.h"
#include "platform/safe_name.h"

namespace pelvaro {
namespace {

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pelvaro-files-XXXXXX";
    root_ = Path(mkdtemp(pattern));
  }
  void TearDown() override { std::filesystem::remove_all(root_.bytes()); }
  Path root_;
};

TEST_F(FilesTest, NamesAreTheBytesGivenEvenWhereGbkHasNoForm) {
  const Path folder = JoinPath(root_, "Köln-영상/娱乐");
  ASSERT_TRUE(CreateFolders(folder));
  EXPECT_TRUE(std::filesystem::is_directory(root_.bytes() + "/Köln-영상/娱乐"));
  const Path file = JoinPath(folder, "猫咪😂视频.mp4");
  ASSERT_TRUE(WriteFileAtomically(file, "abc"));
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FolderExists(file));
  EXPECT_EQ(ReadWholeFile(file).value_or(""), "abc");
  EXPECT_EQ(ListFiles(folder, ".MP4"), std::vector<Path>{Path("猫咪😂视频.mp4")});
  EXPECT_EQ(ListFolders(root_), std::vector<Path>{Path("Köln-영상")});
  EXPECT_TRUE(FreeSpaceBytes(JoinPath(folder, "not/yet/there")).has_value());
  EXPECT_EQ(PathText(folder), PathText(root_) + "/K?ln-?\?/" + Gbk("娱乐"));  // for showing only
}

TEST_F(FilesTest, RenameNeverReplacesAndAtomicWriteLeavesNoTemporary) {
  const Path a = JoinPath(root_, "a");
  const Path b = JoinPath(root_, "b");
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

TEST(PathParts, FolderAndNameSplitAtTheLastSlashAndKeepTheRoot) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
    const char* partial;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"a/b/猫.mp4", "a/b", "猫.mp4", "a/b/.猫.mp4.pelvaro-part"},
           {"/top.mp4", "/", "top.mp4", "/.top.mp4.pelvaro-part"},
           {"alone.mp4", "", "alone.mp4", ".alone.mp4.pelvaro-part"},
           {"a/b/", "a/b", "", "a/b/..pelvaro-part"},
       }) {
    const Path path(c.path);
    EXPECT_EQ(path.folder(), Path(c.folder)) << c.path;
    EXPECT_EQ(path.name(), Path(c.name)) << c.path;
    EXPECT_EQ(PartialPathFor(path), Path(c.partial)) << c.path;
  }
}

TEST(SafeName, HostileNamesStayOnePathComponentAndOtherCharactersStay) {
  const std::pair<std::string, std::string> cases[] = {
      {"../etc/passwd", ".._etc_passwd"},
      {"/abs", "_abs"},
      {"a\\b", "a_b"},
      {"..", "_"},
      {".", "_"},
      {"", "_"},
      {"a:b*c?d\"e<f>g|h", "a_b_c_d_e_f_g_h"},
      {std::string("x\0y\x1fz\xC2\x85", 7), "x_y_z_"},  // C1 controls are controls too
      {"娱乐", "娱乐"},
      {"猫咪😂视频", "猫咪😂视频"},
      {"Jörg-Straße-영상", "Jörg-Straße-영상"},
      {"\xFF/x\xE5\xBE", "__x__"},  // bytes of no character
      {"\xED\xA0\x80", "___"},      // a surrogate is no character either
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(SafeName(input).bytes(), expected) << input;
  EXPECT_NE(SafeName("猫咪😂视频"), SafeName("猫咪😭视频"));
  // Docids and categories keep the names their markers and folders always had.
  EXPECT_EQ(SafeNameOfGbk(Gbk("娱乐/体育"), 0).bytes(), "娱乐_体育");
  EXPECT_EQ(SafeNameOfGbk("\x81/x").bytes(), "__x");
}

TEST(SafeName, LongNamesAreCutOnTheirStoredBytesAtACharacterBoundary) {
  struct Case {
    std::string name;
    std::size_t longest;   // the longest the name may be: 255 less the reserved 9
    std::size_t shortest;  // a character more would not have fit
  };
  std::string chinese, emoji, mixed;
  for (int i = 0; i < 150; ++i) chinese += "标";
  for (int i = 0; i < 100; ++i) emoji += "😂";
  for (int i = 0; i < 20000; ++i) mixed += "a标·ö";
  const Case cases[] = {
      {chinese, 246, 244}, {emoji, 246, 243}, {mixed, 246, 243}, {std::string(300, 'a'), 246, 246}};
  for (const auto& c : cases) {
    const std::string cut = SafeName(c.name).bytes();
    EXPECT_LE(cut.size(), c.longest);
    EXPECT_GE(cut.size(), c.shortest);
    EXPECT_EQ(c.name.substr(0, cut.size()), cut);  // a prefix of whole characters
    EXPECT_TRUE(IsUtf8(cut));
  }
  // 163 raw GBK pairs without a Unicode form, 326 bytes: each is one "?" and then "_", and the
  // name as stored fits.
  std::string pairs;
  for (int i = 0; i < 163; ++i) pairs += "\xAA\xA1";
  EXPECT_EQ(SafeNameOfGbk(pairs).bytes(), std::string(163, '_'));
  std::string longPairs;
  for (int i = 0; i < 400; ++i) longPairs += "\xD7\xFA";
  EXPECT_EQ(SafeNameOfGbk(longPairs).bytes().size(), 246u);
}

}  // namespace
}  // namespace pelvaro

#include "shell/settings_store.h"

#include <array>

#include "platform/memory_form.h"
#include "platform/window_layout.h"
#include "shell/profile_file.h"
#include "shell_test_support.h"

namespace pelvaro {
namespace {

using testing::ShellTest;

// A small window with ASCII names, so that case rules can be seen.
constexpr std::array<ControlDesign, 5> kControls{{
    {"Edit1", ControlKind::EditBox, "", 0, 0, 0, 10, 10, "design"},
    {"Edit2", ControlKind::EditBox, "", 0, 0, 0, 10, 10, "second"},
    {"Check1", ControlKind::CheckBox, "", 0, 0, 0, 10, 10, "c"},
    {"Date1", ControlKind::DateBox, "", 0, 0, 0, 10, 10, ""},
    {"Label1", ControlKind::Label, "", 0, 0, 0, 10, 10, "label"},
}};
const WindowDesign kSmallWindow{"", 0, 0, 100, 100, kControls};

class SettingsStoreTest : public ShellTest {
 protected:
  std::string settingsFile() const { return runDir_ + "/data/setsoft.ini"; }
};

TEST_F(SettingsStoreTest, MainWindowRoundTripKeepsEveryValue) {
  auto saved = MemoryForm::MainWindow();
  const Text log = Gbk("读取到数据：50\r\n\"引用\" 'x'\r\n最后一行");
  saved->setText(main_window::kLog, log);
  saved->setText(main_window::kOutputFolder, Gbk("/home/用户/视频"));
  saved->setText(main_window::kMinFreeMb, "800");
  saved->setChecked(main_window::kNoSubfolders, false);
  SettingsStore::SaveOnClose(*saved);

  std::string file = GbkToUtf8(Read(settingsFile()));
  EXPECT_NE(file.find("[编辑框]\r\n"), std::string::npos);
  EXPECT_NE(file.find("编辑框_日志=读取到数据：50><br><#引号引用#引号 'x'><br><最后一行\r\n"),
            std::string::npos);
  EXPECT_NE(file.find("编辑框_剩余空间=800\r\n"), std::string::npos);
  EXPECT_NE(file.find("[选择框]\r\n选择框_不要子目录=假\r\n"), std::string::npos);

  auto loaded = MemoryForm::MainWindow();
  SettingsStore::LoadOnCreate(*loaded);
  for (const auto& name : saved->controlsOfKind(ControlKind::EditBox)) {
    EXPECT_EQ(loaded->text(name), saved->text(name)) << name;
  }
  EXPECT_FALSE(loaded->checked(main_window::kNoSubfolders));
}

TEST_F(SettingsStoreTest, EscapesAndTheirWayBack) {
  struct Case {
    const char* content;
    const char* stored;
    const char* loaded;
  };
  const Case cases[] = {
      {"a\r\nb", "a><br><b", "a\r\nb"},
      {"say \"hi\"", "say #引号hi#引号", "say \"hi\""},
      // Marks typed by the user come back as what they stand for.
      {"x><br><y", "x><br><y", "x\r\ny"},
      {"#引号", "#引号", "\""},
      // A lone LF or CR is a line break too: it must not end the line in the file.
      {"x\nEdit2=evil", "x><br><Edit2=evil", "x\r\nEdit2=evil"},
      {"x\ry", "x><br><y", "x\r\ny"},
  };
  for (const auto& c : cases) {
    auto form = std::make_unique<MemoryForm>(kSmallWindow);
    form->setText("Edit1", Gbk(c.content));
    Text path;
    SettingsStore::saveEditBoxes(*form, path);
    EXPECT_EQ(ProfileFile::Load(path).get(Gbk("编辑框"), "Edit1"), Gbk(c.stored)) << c.content;
    auto fresh = std::make_unique<MemoryForm>(kSmallWindow);
    SettingsStore::loadEditBoxes(*fresh, path);
    EXPECT_EQ(fresh->text("Edit1"), Gbk(c.loaded)) << c.content;
    EXPECT_EQ(fresh->text("Edit2"), "second") << c.content;
  }
}

TEST_F(SettingsStoreTest, ReadsTheFileWithProfileStringRules) {
  struct Case {
    const char* file;
    const char* edit1;  // nullptr: untouched
    bool checked;
  };
  const Case cases[] = {
      // Section and key names match without regard to ASCII case; blanks and quotes go.
      {"[编辑框]\r\nEDIT1 =  \"quoted\"  \r\n[选择框]\r\ncheck1=假\r\n", "quoted", false},
      {"[编辑框]\nedit1='single'\n[选择框]\nCheck1=真\n", "single", true},
      // Any text but "假" checks the box; a missing section leaves the box as designed.
      {"[选择框]\r\nCheck1=no\r\n", nullptr, true},
      {"[编辑框]\r\nEdit1=\r\n", nullptr, false},
      {"; comment\r\n[其他]\r\nEdit1=wrong section\r\n", nullptr, false},
  };
  for (const auto& c : cases) {
    Write(settingsFile(), Gbk(c.file));
    auto form = std::make_unique<MemoryForm>(kSmallWindow);
    Text path;
    EXPECT_EQ(SettingsStore::loadEditBoxes(*form, path), 2);
    EXPECT_EQ(SettingsStore::loadCheckBoxes(*form, path), 1);
    EXPECT_EQ(form->text("Edit1"), c.edit1 ? Gbk(c.edit1) : Text("design")) << c.file;
    EXPECT_EQ(form->checked("Check1"), c.checked) << c.file;
  }
}

TEST_F(SettingsStoreTest, LongValuesAreCutAtACharacterBoundary) {
  struct Case {
    std::string stored;
    std::size_t expected;
  };
  const Case cases[] = {
      {std::string(20000, 'a'), 10239},
      {std::string(10239, 'a'), 10239},
      // The 10239th byte would be the first half of "中": the cut leaves the whole character out.
      {std::string(10238, 'a') + Gbk("中") + "bbb", 10238},
  };
  for (const auto& c : cases) {
    Write(settingsFile(), Gbk("[编辑框]\r\nEdit1=") + c.stored + "\r\n");
    auto form = std::make_unique<MemoryForm>(kSmallWindow);
    Text path;
    SettingsStore::loadEditBoxes(*form, path);
    EXPECT_EQ(form->text("Edit1"), c.stored.substr(0, c.expected));
  }
}

TEST_F(SettingsStoreTest, ValuesWithBlanksOrQuotesAtTheEndsSurvive) {
  for (const char* value : {" leading", "trailing ", "'single'", "\t", "a = b"}) {
    auto form = std::make_unique<MemoryForm>(kSmallWindow);
    form->setText("Edit1", value);
    Text path;
    SettingsStore::saveEditBoxes(*form, path);
    auto fresh = std::make_unique<MemoryForm>(kSmallWindow);
    SettingsStore::loadEditBoxes(*fresh, path);
    EXPECT_EQ(fresh->text("Edit1"), value);
  }
}

TEST_F(SettingsStoreTest, SaveKeepsForeignKeysAndSkipsExcludedControls) {
  Write(settingsFile(),
        Gbk("; kept comment\r\n[编辑框]\r\nedit1=old\r\nRetired=7\r\n\r\n[other]\r\nk=v\r\n"));
  auto form = std::make_unique<MemoryForm>(kSmallWindow);
  form->setText("Edit1", "new");
  form->setText("Edit2", "two");
  Text path;
  EXPECT_EQ(SettingsStore::saveEditBoxes(*form, path, "x|Edit2"), 2);
  EXPECT_EQ(path, Utf8ToGbk(settingsFile()));
  // The key keeps its spelling; the excluded control is not written.
  EXPECT_EQ(GbkToUtf8(Read(settingsFile())),
            "; kept comment\r\n[编辑框]\r\nedit1=new\r\nRetired=7\r\n\r\n[other]\r\nk=v\r\n");
  EXPECT_EQ(SettingsStore::saveEditBoxes(*form, path, "Edit"), 2);  // names match whole
  EXPECT_NE(Read(settingsFile()).find("Retired=7\r\nEdit2=two\r\n\r\n[other]"), std::string::npos);
  // Only the settings file is left in the folder: the save went through a temporary file.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(runDir_ + "/data")) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(SettingsStoreTest, TheSharedCatalogueIsAKeyOfItsOwnAndEmptyWithoutIt) {
  EXPECT_EQ(SettingsStore::sharedCatalogueUri(), "");
  Write(settingsFile(), Gbk("[目录数据库]\r\n地址= postgresql://pelvaro@db:5432/视频 \r\n"));
  EXPECT_EQ(SettingsStore::sharedCatalogueUri(), "postgresql://pelvaro@db:5432/视频");
}

TEST_F(SettingsStoreTest, DateBoxesAreStoredAsDateTimeText) {
  auto form = std::make_unique<MemoryForm>(kSmallWindow);
  form->setText("Date1", "2026-12-08 12:00:00");
  Text path;
  EXPECT_EQ(SettingsStore::saveDateBoxes(*form, path), 1);
  EXPECT_EQ(GbkToUtf8(ProfileFile::Load(path).get(Gbk("日期框"), "date1")), "2026年12月8日12时");

  auto fresh = std::make_unique<MemoryForm>(kSmallWindow);
  SettingsStore::loadDateBoxes(*fresh, path);
  EXPECT_EQ(GbkToUtf8(fresh->text("Date1")), "2026年12月8日12时");

  // An empty or unreadable stored date still sets the box: to the default date.
  Write(settingsFile(), Gbk("[日期框]\r\nDate1=not a date\r\n"));
  SettingsStore::loadDateBoxes(*fresh, path);
  EXPECT_EQ(GbkToUtf8(fresh->text("Date1")), "1899年12月30日");
}

TEST_F(SettingsStoreTest, DeletingTheFileRestoresDesignValues) {
  auto form = MemoryForm::MainWindow();
  form->setText(main_window::kHours, "99");
  SettingsStore::SaveOnClose(*form);
  std::filesystem::remove(settingsFile());
  auto fresh = MemoryForm::MainWindow();
  auto design = MemoryForm::MainWindow();
  SettingsStore::LoadOnCreate(*fresh);
  EXPECT_EQ(fresh->text(main_window::kHours), design->text(main_window::kHours));
  EXPECT_TRUE(fresh->checked(main_window::kNoSubfolders));
}

TEST_F(SettingsStoreTest, PlacementAndColumnWidthsAreKeptAsKeysOfTheirOwn) {
  namespace mw = main_window;
  // Neither placed nor sized by the user: nothing of either is written.
  auto plain = MemoryForm::MainWindow();
  SettingsStore::SaveOnClose(*plain);
  EXPECT_EQ(GbkToUtf8(Read(settingsFile())).find("[窗口]"), std::string::npos);
  EXPECT_EQ(GbkToUtf8(Read(settingsFile())).find("[列宽]"), std::string::npos);

  auto saved = MemoryForm::MainWindow();
  const WindowPlacement place{70, 40, 1200, 800, true};
  const std::vector<int> widths = {36, 40, 240, 120, 36, 60, 120, 76, 40, 40, 70};
  saved->setWindowPlacement(place);
  saved->setColumnWidths(mw::kVideoList, widths);
  SettingsStore::SaveOnClose(*saved);
  const std::string file = GbkToUtf8(Read(settingsFile()));
  EXPECT_NE(file.find("[窗口]\r\n位置=70,40,1200,800\r\n最大化=真\r\n"), std::string::npos) << file;
  EXPECT_NE(file.find("[列宽]\r\n超级列表框1=36,40,240,120,36,60,120,76,40,40,70\r\n"), std::string::npos)
      << file;
  auto loaded = MemoryForm::MainWindow();
  SettingsStore::LoadOnCreate(*loaded);
  EXPECT_EQ(loaded->windowPlacement(), place);
  EXPECT_EQ(loaded->columnWidths(mw::kVideoList), widths);

  // A damaged value leaves the window as it is.
  for (const char* damaged : {"位置=abc\r\n", "位置=10,10,0,600\r\n", "位置=1,2,3\r\n"}) {
    Write(settingsFile(),
          Utf8ToGbk(std::string("[窗口]\r\n") + damaged + "[列宽]\r\n超级列表框1=36,0,50\r\n"));
    auto again = MemoryForm::MainWindow();
    SettingsStore::LoadOnCreate(*again);
    EXPECT_EQ(again->windowPlacement(), WindowPlacement{}) << damaged;
    EXPECT_TRUE(again->columnWidths(mw::kVideoList).empty()) << damaged;
  }
}

TEST(ProfileFileTest, CaseFoldingNeverTouchesDoubleByteCharacters) {
  // "乗" is 81 5C and "乗" with the second byte folded would be a different character.
  EXPECT_TRUE(EqualsIgnoringAsciiCase(Gbk("Ab编辑"), Gbk("aB编辑")));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\x81\x41", "\x81\x61"));
  // A "]" as a second byte does not close a section name.
  ProfileFile profile(std::string("[\x81\x5D]\r\nk=v\r\n"));
  EXPECT_EQ(profile.get("\x81\x5D", "K"), "v");
}

// A link named like the settings file is replaced by the file, never written through.
TEST_F(SettingsStoreTest, SavingNeverWritesThroughALink) {
  Write(root_ + "/outside.ini", "[mine]\r\nkept=1\r\n");
  std::filesystem::create_directories(runDir_ + "/data");
  std::filesystem::create_symlink(root_ + "/outside.ini", settingsFile());
  SettingsStore::SaveOnClose(*MemoryForm::MainWindow());
  EXPECT_EQ(Read(root_ + "/outside.ini"), "[mine]\r\nkept=1\r\n");
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(settingsFile())));
}

}  // namespace
}  // namespace pelvaro

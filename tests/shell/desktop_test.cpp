#include "shell/desktop.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/memory_form.h"
#include "shell/app_identity.h"
#include "shell_test_support.h"

namespace pelvaro {
namespace {

using testing::ShellTest;

class DesktopTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    desktop_ = home_ + "/Desktop";
    documents_ = home_ + "/Documents";
    std::filesystem::create_directories(desktop_);
    std::filesystem::create_directories(documents_);
  }
  std::vector<std::string> desktopFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(desktop_))
      names.push_back(entry.path().filename());
    return names;
  }
  std::string desktop_;
  std::string documents_;
};

TEST(ShortcutNameTest, NameRules) {
  struct Case {
    const char* name;
    const char* file;
  };
  const Case cases[] = {
      {"abc", "/d/abc.desktop"},
      {"abc.desktop", "/d/abc.desktop"},
      {"ABC.Desktop", "/d/ABC.Desktop"},
      {"D:\\x\\abc.txt", "/d/abc.desktop"},
      {"/x/abc.txt", "/d/abc.desktop"},
      {"/x/a.b.c", "/d/a.b.desktop"},
      {"x\\", "/d/.desktop"},
      // "乗" ends in the byte of "\": it is a character, not a separator.
      {"乗.txt", "/d/乗.txt.desktop"},
      {"Pelvaro视频下载器", "/d/Pelvaro视频下载器.desktop"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShortcutFilePath(Path("/d"), Gbk(c.name)).bytes(), c.file) << c.name;
  }
}

TEST_F(DesktopTest, SecondStartLeavesOneLauncherForTheProgram) {
  const Path target(runDir_ + "/pelvaro-collector");
  Write(runDir_ + "/pelvaro-collector", "binary");
  ASSERT_TRUE(CreateDesktopShortcut(AppTitle(), target));
  Write(desktop_ + "/Pelvaro视频下载器.desktop", "stale");
  ASSERT_TRUE(CreateDesktopShortcut(AppTitle(), target));
  EXPECT_EQ(desktopFiles(), std::vector<std::string>{"Pelvaro视频下载器.desktop"});

  std::string file = desktop_ + "/Pelvaro视频下载器.desktop";
  EXPECT_EQ(Read(file),
            "[Desktop Entry]\nType=Application\nVersion=1.0\nName=Pelvaro视频下载器\n"
            "Exec=\"" +
                runDir_ + "/pelvaro-collector\"\nPath=" + runDir_ +
                "/\n"
                "Icon=pelvaro-collector\nTerminal=false\n");
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
}

TEST_F(DesktopTest, LauncherFieldsAreEscaped) {
  std::string content = DesktopEntryContent(Gbk("名"), Path("/opt/my \"app\"/$run%1\\x"), "--a", Gbk("icon"),
                                            Gbk("line\nbreak"));
  EXPECT_NE(content.find("Exec=\"/opt/my \\\\\"app\\\\\"/\\\\$run%%1\\\\\\\\x\" --a\n"), std::string::npos)
      << content;
  EXPECT_NE(content.find("Path=/opt/my \"app\"/\n"), std::string::npos);
  EXPECT_NE(content.find("Comment=line\\nbreak\n"), std::string::npos);
  EXPECT_NE(content.find("Icon=icon\n"), std::string::npos);
}

TEST_F(DesktopTest, FolderTargetsGetAFolderIconAndNoFolderOnlyRemoves) {
  ASSERT_TRUE(CreateDesktopShortcut("videos", Path(runDir_)));
  EXPECT_NE(Read(desktop_ + "/videos.desktop").find("\nIcon=folder\n"), std::string::npos);
  EXPECT_FALSE(CreateDesktopShortcut("videos", Path()));
  EXPECT_FALSE(CreateDesktopShortcut("other", Path("relative-name")));
  EXPECT_TRUE(desktopFiles().empty());
}

TEST_F(DesktopTest, UserDirsChooseTheFolders) {
  Write(
      home_ + "/.config/user-dirs.dirs",
      "# written by the desktop\nXDG_DESKTOP_DIR=\"$HOME/桌面\"\nXDG_DOCUMENTS_DIR=\"" + root_ + "/docs\"\n");
  EXPECT_EQ(DesktopFolder().bytes(), home_ + "/桌面");
  EXPECT_EQ(DocumentsFolder().bytes(), root_ + "/docs");
  // A directory set to the home folder itself is switched off.
  Write(home_ + "/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/\"\n");
  EXPECT_EQ(DesktopFolder().bytes(), home_ + "/Desktop");
  EXPECT_EQ(DocumentsFolder().bytes(), home_ + "/Documents");
}

TEST_F(DesktopTest, DisclaimerMarkerOnlyAfterOk) {
  auto form = MemoryForm::StartupWindow();
  form->setMessageHandler([](const MemoryForm::ShownMessage&) { return false; });
  ShowDisclaimerOnce(*form);
  ASSERT_EQ(form->shownMessages().size(), 1u);
  EXPECT_EQ(form->shownMessages()[0].title, Gbk("免责声明"));
  EXPECT_EQ(form->shownMessages()[0].buttons, MessageButtons::OkCancel);
  EXPECT_FALSE(std::filesystem::exists(documents_ + "/tmbq.dll"));

  form->setMessageHandler([](const MemoryForm::ShownMessage&) { return true; });
  ShowDisclaimerOnce(*form);
  EXPECT_EQ(form->shownMessages().size(), 2u);
  EXPECT_TRUE(std::filesystem::is_regular_file(documents_ + "/tmbq.dll"));
  EXPECT_EQ(Read(documents_ + "/.hidden"), "tmbq.dll\n");

  // Accepted once: never shown again, and the marker is rewritten.
  std::filesystem::remove(documents_ + "/.hidden");
  ShowDisclaimerOnce(*form);
  EXPECT_EQ(form->shownMessages().size(), 2u);
  EXPECT_EQ(Read(documents_ + "/.hidden"), "tmbq.dll\n");
}

TEST_F(DesktopTest, HiddenListThatCannotBeReadIsLeftAlone) {
  // A link to a folder cannot be read as a list, even by root; an unreadable file only by others.
  std::filesystem::create_directories(root_ + "/elsewhere");
  std::filesystem::create_directory_symlink(root_ + "/elsewhere", documents_ + "/.hidden");
  auto form = MemoryForm::StartupWindow();
  ShowDisclaimerOnce(*form);
  EXPECT_TRUE(std::filesystem::is_regular_file(documents_ + "/tmbq.dll"));
  EXPECT_TRUE(std::filesystem::is_symlink(documents_ + "/.hidden"));
  if (geteuid() != 0) {
    std::filesystem::remove(documents_ + "/.hidden");
    Write(documents_ + "/.hidden", "mine\n");
    std::filesystem::permissions(documents_ + "/.hidden", std::filesystem::perms::none);
    ShowDisclaimerOnce(*form);
    std::filesystem::permissions(documents_ + "/.hidden", std::filesystem::perms::owner_all);
    EXPECT_EQ(Read(documents_ + "/.hidden"), "mine\n");
  }
}

// Without a documents folder the acceptance is kept in the data folder, and no documents folder
// is made for it; once one exists, the record in the data folder still counts.
TEST_F(DesktopTest, WithoutADocumentsFolderTheAcceptanceIsKeptInTheDataFolder) {
  std::filesystem::remove_all(documents_);
  auto form = MemoryForm::StartupWindow();
  form->setMessageHandler([](const MemoryForm::ShownMessage&) { return true; });
  for (int start = 0; start < 3; ++start) {
    if (start == 2) std::filesystem::create_directories(documents_);
    ShowDisclaimerOnce(*form);
    EXPECT_EQ(form->shownMessages().size(), 1u) << start;
  }
  EXPECT_TRUE(std::filesystem::is_regular_file(runDir_ + "/data/tmbq.dll"));
  EXPECT_EQ(Read(runDir_ + "/data/.hidden"), "tmbq.dll\n");
  EXPECT_FALSE(std::filesystem::exists(documents_ + "/tmbq.dll"));
}

TEST(DisclaimerTextTest, HeadingSixClausesAndTheClosingLines) {
  std::string text = GbkToUtf8(DisclaimerText());
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    auto end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], "免责声明：");
  for (int i = 1; i <= 6; ++i) EXPECT_TRUE(lines[i].starts_with("  " + std::to_string(i) + "、")) << lines[i];
  EXPECT_EQ(lines[7], "如果您已认真阅读并同意以上内容，请点击“确定”，否则请删除与本软件相关的所有资源。");
  EXPECT_EQ(lines[8], "本信息仅弹出一次。");
  EXPECT_EQ(Utf8ToGbk(text), DisclaimerText());  // every character has a GBK form
}

}  // namespace
}  // namespace pelvaro

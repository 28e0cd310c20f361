#include "collector/history.h"
#include "collector/output_layout.h"
#include "collector/take_video.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "collector/collection_service.h"
#include "collector/collector_settings.h"
#include "collector/platform_api.h"
#include "collector/seed_queue.h"
#include "collector/storage_guards.h"
#include "collector/text_between.h"
#include "collector/video_downloads.h"
#include "collector/video_record.h"
#include "platform/files.h"
#include "platform/memory_form.h"
#include "platform/window_layout.h"

namespace pelvaro {
namespace {

namespace fs = std::filesystem;

class StorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pelvaro-storage-XXXXXX";
    root_ = mkdtemp(pattern);
    setenv("PELVARO_RUN_DIR", root_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("PELVARO_RUN_DIR");
    fs::remove_all(root_);
  }
  pelvaro::Path At(const char* utf8) { return pelvaro::Path(root_ + "/" + utf8); }
  void Touch(const char* utf8) {
    fs::create_directories(fs::path(root_ + "/" + utf8).parent_path());
    ASSERT_TRUE(CreateEmptyFile(At(utf8)));
  }

  std::string root_;
};

VideoRecord Record(const char* category, const char* width, const char* height) {
  VideoRecord r;
  r.category = Gbk(category);
  r.width = width;
  r.height = height;
  return r;
}

TEST_F(StorageTest, TargetFolderLayouts) {
  const pelvaro::Path out = At("out");
  struct Case {
    bool noSubfolders;
    VideoRecord record;
    const char* expected;
  } cases[] = {
      {true, Record("娱乐", "1280", "720"), "out"},
      {true, Record("娱乐", "720", "1280"), "out/竖屏"},
      {false, Record("娱乐", "720", "1280"), "out/娱乐/竖屏"},
      {false, Record("娱乐", "1280", "720"), "out/娱乐"},
      {false, Record("娱乐", "720", "720"), "out/娱乐"},  // square is landscape
      {false, Record("", "", ""), "out/_"},
      {false, Record("../..", "1", "2"), "out/.._../竖屏"},
      {false, Record("a/b\\c", "x", "y"), "out/a_b_c"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TargetFolder(out, c.noSubfolders, c.record).bytes(), root_ + "/" + c.expected) << c.expected;
  }
  EXPECT_EQ(TargetFolder(At("out/"), true, Record("x", "1", "1")), At("out/"));
}

TEST_F(StorageTest, FileNamesAndMarkersStayInTheirFolders) {
  const std::pair<const char*, const char*> names[] = {
      {"标题", "标题.mp4"},
      {"", "_.mp4"},
      {"../../etc/passwd", ".._.._etc_passwd.mp4"},
      {"猫咪😂视频", "猫咪😂视频.mp4"},
      {"Jörg-Straße-영상", "Jörg-Straße-영상.mp4"},
  };
  for (const auto& [title, name] : names) EXPECT_EQ(VideoFileName(title).bytes(), name) << title;
  EXPECT_EQ(HistoryFolder(), At("pelvarolishi"));
  for (const char* docid : {"V_08V5GNlg", "../escape", "/abs/path", "..", "a:b*c?d", "x\ty"}) {
    EXPECT_FALSE(HistoryHolds(docid)) << docid;
    RecordHistory(docid);
    EXPECT_TRUE(HistoryHolds(docid)) << docid;
    EXPECT_EQ(fs::path(HistoryMarkerPath(docid).bytes()).parent_path(), fs::path(root_ + "/pelvarolishi"));
  }
  // Everything written stays inside the history folder.
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    EXPECT_EQ(entry.path().string().rfind(root_ + "/pelvarolishi", 0), 0u) << entry.path();
  }
}

TEST_F(StorageTest, FinishedVideosCountWhereTheCollectorWrites) {
  const pelvaro::Path out = At("out");
  EXPECT_EQ(CountFinishedVideos(out), 0);  // missing folder
  Touch("out/a.mp4");
  Touch("out/B.MP4");
  Touch("out/c.mp4.part");
  Touch("out/.h.mp4.pelvaro-part");
  Touch("out/notes.txt");
  Touch("out/竖屏/d.mp4");
  Touch("out/娱乐/e.mp4");
  Touch("out/娱乐/竖屏/f.mp4");
  Touch("out/娱乐/other/g.mp4");  // not a folder the collector writes
  fs::create_directories(root_ + "/out/folder.mp4");
  EXPECT_EQ(CountMatchingFiles(out, "*.mp4"), 2);
  EXPECT_EQ(CountMatchingFiles(out, "?.mp4"), 2);
  EXPECT_EQ(CountMatchingFiles(out, "a*"), 1);
  EXPECT_EQ(CountFinishedVideos(out), 5);
}

// Only partial files of ours (by their name) that nobody holds are removed, only where the
// collector writes, and never through a link.
TEST_F(StorageTest, TheLeftoverSweepRemovesOnlyOurOwnUnlockedPartialFiles) {
  const char* ours[] = {"out/.a.mp4.pelvaro-part", "out/竖屏/.b.mp4.pelvaro-part",
                        "out/娱乐/.c.mp4.pelvaro-part", "out/娱乐/竖屏/.d.mp4.pelvaro-part"};
  const char* others[] = {"out/holiday.mp4.part",
                          "out/家庭/clip.mp4.part",
                          "out/娱乐/e.mp4",
                          "out/.hidden",
                          "out/娱乐/other/.f.mp4.pelvaro-part",
                          "elsewhere/.g.mp4.pelvaro-part",
                          "elsewhere/victim.mp4.part",
                          "out/live/.h.mp4.pelvaro-part"};
  for (const char* path : ours) Touch(path);
  for (const char* path : others) Touch(path);
  // Links planted as a folder the collector writes and as a partial file of ours.
  fs::create_directory_symlink(root_ + "/elsewhere", root_ + "/out/家庭/竖屏");
  fs::create_directory_symlink(root_ + "/elsewhere", root_ + "/out/link");
  fs::create_symlink(root_ + "/elsewhere/.g.mp4.pelvaro-part", root_ + "/out/.i.mp4.pelvaro-part");
  // A live download of another copy holds its partial file locked.
  const int live = ::open((root_ + "/out/live/.h.mp4.pelvaro-part").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(live, LOCK_EX | LOCK_NB), 0);

  EXPECT_EQ(RemoveLeftoverPartials(At("out"), true), 4);
  for (const char* path : ours) EXPECT_FALSE(fs::exists(root_ + "/" + path)) << path;
  // A flat layout writes only the output folder and its portrait folder.
  for (const char* path : ours) Touch(path);
  EXPECT_EQ(RemoveLeftoverPartials(At("out"), false), 2);
  EXPECT_TRUE(fs::exists(root_ + "/" + ours[2]));
  EXPECT_TRUE(fs::exists(root_ + "/" + ours[3]));
  for (const char* path : others) EXPECT_TRUE(fs::exists(root_ + "/" + path)) << path;
  EXPECT_TRUE(fs::is_symlink(root_ + "/out/.i.mp4.pelvaro-part"));
  ::close(live);
}

// A link in the history folder is never written through: the marker replaces it.
TEST_F(StorageTest, AMarkerNeverWritesThroughALink) {
  fs::create_directories(root_ + "/pelvarolishi");
  fs::create_directories(root_ + "/outside");
  fs::create_symlink(root_ + "/outside/created", root_ + "/pelvarolishi/V_dangling");
  std::ofstream(root_ + "/outside/kept") << "user data";
  fs::create_symlink(root_ + "/outside/kept", root_ + "/pelvarolishi/V_pointing");
  for (const char* docid : {"V_dangling", "V_pointing"}) {
    RecordHistory(docid);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(root_ + "/pelvarolishi/" + docid))) << docid;
    EXPECT_EQ(fs::file_size(root_ + "/pelvarolishi/" + docid), 0u);
  }
  EXPECT_FALSE(fs::exists(root_ + "/outside/created"));
  std::ifstream in(root_ + "/outside/kept");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "user data");
}

TEST(ProbedSize, TheServersSizeIsCheckedAgainstTheLimitsAndTheFreeSpaceFloor) {
  constexpr std::int64_t kMb = 1048576;
  struct Case {
    std::int64_t bytes;
    ProbedSizeLimits limits;  // min, max, free floor, free now
    const char* failure;      // empty: it fits
  };
  const Case cases[] = {
      {24 * kMb, {0, 5, 0, 1000}, "文件大小超出限制：24MB"},
      {5 * kMb, {0, 5, 0, 1000}, ""},
      {5 * kMb + 1, {0, 5, 0, 1000}, "文件大小超出限制：6MB"},
      {kMb / 2, {1, 5, 0, 1000}, "文件大小超出限制：1MB"},
      {3 * kMb, {0, 5, 998, 1000}, "磁盘剩余空间将低于下限"},
      {2 * kMb, {0, 5, 998, 1000}, ""},
      {3 * kMb, {0, 5, 0, 2.5}, "磁盘空间不足（需要 3 MB）"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GbkToUtf8(FailureText(ProbedSizeFailure(c.bytes, c.limits))), c.failure) << c.bytes;
  }
}

TEST_F(StorageTest, OutputFolderPickerFallsBackToTheDefault) {
  auto form = MemoryForm::MainWindow();
  Text seenTitle;
  pelvaro::Path seenStart;
  form->setFolderHandler([&](const Text& title, const pelvaro::Path& start) {
    seenTitle = title;
    seenStart = start;
    return pelvaro::Path("/chosen/Köln-영상");
  });
  PickOutputFolder(*form);
  EXPECT_EQ(form->textUtf8(main_window::kOutputFolder), "/chosen/Köln-영상");
  EXPECT_EQ(CollectorSettings(*form).outputFolder(), pelvaro::Path("/chosen/Köln-영상"));
  EXPECT_EQ(seenTitle, Gbk("选择视频保存目录"));
  EXPECT_EQ(seenStart, pelvaro::Path(root_));
  form->setFolderHandler([](const Text&, const pelvaro::Path&) { return pelvaro::Path(); });
  PickOutputFolder(*form);
  EXPECT_EQ(CollectorSettings(*form).outputFolder(), At("video"));
}

TEST(TextBetween, FirstStartThenNextEnd) {
  EXPECT_EQ(TextBetween("a<h2>T</h2>b<h2>U</h2>", "<h2>", "</h2>"), "T");
  EXPECT_EQ(TextBetween("</h2>x<h2>T</h2>", "<h2>", "</h2>"), "T");
  EXPECT_EQ(TextBetween("<h2>T", "<h2>", "</h2>"), "");
  EXPECT_EQ(TextBetween("T</h2>", "<h2>", "</h2>"), "");
  EXPECT_EQ(TextBetween(" https://h/article/V_1?title_sn=0", "article/", "?"), "V_1");
  EXPECT_EQ(TextBetween("https://h/article/V_1", "article/", "?"), "");
}

TEST(SeedQueue, FifoWithEmptyIdsAndABoundThatDropsTheOldest) {
  SeedQueue queue(3);
  EXPECT_TRUE(queue.push("a"));
  EXPECT_TRUE(queue.push(""));
  EXPECT_TRUE(queue.push("b"));
  EXPECT_FALSE(queue.push("fresh"));  // full: "a" makes room
  EXPECT_EQ(queue.size(), 3u);
  EXPECT_EQ(queue.pop(), "");
  EXPECT_EQ(queue.pop(), "b");
  EXPECT_EQ(queue.pop(), "fresh");
  EXPECT_EQ(queue.pop(), std::nullopt);

  // At the real bound, a seed pushed last is always in the queue and the front is recent.
  SeedQueue full;
  for (int i = 0; i < 25000; ++i) full.push("V_" + std::to_string(i));
  full.push("service seed");
  EXPECT_EQ(full.size(), SeedQueue::kDefaultCapacity);
  EXPECT_EQ(full.ids().back(), "service seed");
  EXPECT_EQ(full.pop(), "V_15001");
}

TEST(CollectionServiceUrl, CategoryEveryByteEncodedIdsOnlyWhenNotPlain) {
  setenv("PELVARO_VENDOR_API_HOST", "127.0.0.1", 1);
  EXPECT_EQ(CollectionServiceUrl("all", "", ""), "http://127.0.0.1:8899/pelvaro?leimu=%61%6C%6C&id=&del=");
  EXPECT_EQ(CollectionServiceUrl("", "", ""), "http://127.0.0.1:8899/pelvaro?leimu=&id=&del=");
  EXPECT_EQ(CollectionServiceUrl(Gbk("所有类目"), "", ""),
            "http://127.0.0.1:8899/pelvaro?leimu=%CB%F9%D3%D0%C0%E0%C4%BF&id=&del=");
  EXPECT_EQ(CollectionServiceUrl(Gbk("娱乐"), "V_a b&c", "x=1"),
            "http://127.0.0.1:8899/pelvaro?leimu=%D3%E9%C0%D6&id=V_a%20b%26c&del=x%3D1");
  setenv("PELVARO_VENDOR_API_HOST", "127.0.0.1:5555", 1);
  EXPECT_EQ(CollectionServiceUrl("a", "V_Ab-9_z", ""),
            "http://127.0.0.1:5555/pelvaro?leimu=%61&id=V_Ab-9_z&del=");
  unsetenv("PELVARO_VENDOR_API_HOST");
}

// A docid is one component of a path or a query: ordinary ids go on the wire as they are, any
// other keeps its slashes, dots and query characters inside that component.
TEST(PlatformRequests, DocidsStayOneComponent) {
  setenv("PELVARO_PLATFORM_WEB_HOST", "p.example", 1);
  struct Case {
    Text docid;
    std::string onWire;
  };
  const Case cases[] = {
      {"V_3xk9Qa-7", "V_3xk9Qa-7"},
      {"", ""},
      {"../../private/secret?x=", "%2E%2E%2F%2E%2E%2Fprivate%2Fsecret%3Fx%3D"},
      {"a&count=1#f", "a%26count%3D1%23f"},
      {Gbk("视频"), "%E8%A7%86%E9%A2%91"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RelatedVideosUrl(c.docid),
              "https://p.example/home/q/getrelatedvideoall?docid=" + c.onWire + "&count=50&s=&column=b");
    EXPECT_EQ(ArticleLink(c.docid), "https://p.example/article/" + c.onWire + "?title_sn=0");
  }
  unsetenv("PELVARO_PLATFORM_WEB_HOST");
}

}  // namespace
}  // namespace pelvaro

// The page 已采集 over a real catalogue file, and the targets of a list row's actions.
#include "ui/collected_view.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <filesystem>
#include <fstream>

#include "app/desktop/collected_source.h"
#include "app/desktop/row_video.h"
#include "app/desktop_test_support.h"
#include "collector/catalogue.h"
#include "collector/platform_api.h"
#include "platform/memory_form.h"
#include "platform/window_layout.h"
#include "ui/collected_models.h"

namespace pelvaro {
namespace {

namespace fs = std::filesystem;
namespace mw = main_window;
using test::WaitUntil;

class CollectedPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pelvaro-collected-XXXXXX";
    root_ = mkdtemp(pattern);
    catalogue_ = std::make_unique<Catalogue>(Path(root_ + "/data/catalogue.db"));
    ASSERT_TRUE(catalogue_->usable());
  }
  void TearDown() override {
    catalogue_.reset();
    fs::remove_all(root_);
  }

  // A complete video: its file on disk and its catalogue row.
  std::string addVideo(const std::string& docid, const std::string& title, std::int64_t bytes,
                       const std::string& takenAt) {
    const std::string path = root_ + "/video/" + title + ".mp4";
    fs::create_directories(root_ + "/video");
    std::ofstream(path) << std::string(static_cast<std::size_t>(bytes), 'v');
    CatalogueVideo video;
    video.docid = docid;
    video.title = title;
    video.category = "旅游";
    video.published = "2026-12-01 08:00:00";
    video.durationS = 65;
    video.sizeBytes = bytes;
    video.path = path;
    video.takenAt = takenAt;
    EXPECT_TRUE(catalogue_->recordVideo(video));
    return path;
  }

  std::string root_;
  std::unique_ptr<Catalogue> catalogue_;
};

TEST_F(CollectedPageTest, ShowsTheCatalogueOpensVideosRetriesFailuresAndExports) {
  const std::string sunset = addVideo("V_sun", "海边的日落", 3000, "2026-12-09T10:00:00+08:00");
  addVideo("V_run", "城市马拉松", 9000, "2026-12-09T11:00:00+08:00");
  addVideo("V_pot", "红烧肉\x1b[31m做法", 500, "2026-12-09T12:00:00+08:00");
  for (int i = 0; i < Catalogue::kGiveUpAttempts; ++i)
    catalogue_->recordFailure("V_bad", {FailureKind::HttpStatus, 404});
  catalogue_->recordFailure("V_slow", {FailureKind::NoData, 20});

  CollectedView view;
  std::vector<QUrl> opened;
  view.setUrlOpener([&](const QUrl& url) { opened.push_back(url); });
  CollectedSource source(view, catalogue_.get());
  view.show();
  source.refresh();
  auto* videos = view.videoTable();
  auto* failures = view.failureTable();
  ASSERT_TRUE(WaitUntil([&] { return videos->model()->rowCount() == 3 && !source.worker().Running(); }));
  ASSERT_TRUE(WaitUntil([&] { return view.retryButton()->isEnabled(); }));
  EXPECT_EQ(failures->model()->rowCount(), 2);
  // Newest first; stored control characters never reach the screen.
  EXPECT_EQ(videos->model()->index(0, CollectedVideoModel::kTitle).data().toString(),
            QString::fromUtf8("红烧肉 [31m做法"));
  EXPECT_EQ(videos->model()->index(0, CollectedVideoModel::kDuration).data().toString(), "1:05");

  // Sorted by size, the largest first: by the number, not by the text.
  videos->sortByColumn(CollectedVideoModel::kSize, Qt::DescendingOrder);
  EXPECT_EQ(videos->model()->index(0, CollectedVideoModel::kTitle).data().toString(),
            QString::fromUtf8("城市马拉松"));
  view.searchBox()->setText(QString::fromUtf8("日落"));
  ASSERT_EQ(videos->model()->rowCount(), 1);
  videos->selectRow(0);
  view.openSelected();
  view.openSelectedFolder();
  const std::vector<QUrl> expected = {QUrl::fromLocalFile(QString::fromStdString(sunset)),
                                      QUrl::fromLocalFile(QString::fromStdString(root_ + "/video"))};
  EXPECT_EQ(opened, expected);

  // The retry makes every failed video eligible again, as --retry-failed does.
  EXPECT_TRUE(catalogue_->givenUp("V_bad"));
  view.retryButton()->click();
  ASSERT_TRUE(WaitUntil([&] { return failures->model()->rowCount() == 0 && !source.worker().Running(); }));
  EXPECT_EQ(catalogue_->attempts("V_bad"), 0);
  EXPECT_EQ(catalogue_->attempts("V_slow"), 0);
  EXPECT_EQ(videos->model()->rowCount(), 1);  // the search still applies
  EXPECT_FALSE(view.retryButton()->isEnabled());

  // The export writes the file the user names; a cancelled prompt writes nothing.
  const QString csv = QString::fromStdString(root_ + "/已采集.csv");
  source.setSavePrompt([](QWidget*, const QString&) { return QString(); });
  source.exportCsv();
  EXPECT_FALSE(source.worker().Running());
  source.setSavePrompt([&](QWidget*, const QString& suggested) {
    EXPECT_TRUE(suggested.endsWith(QStringLiteral(".csv")));
    return csv;
  });
  source.exportCsv();
  ASSERT_TRUE(
      WaitUntil([&] { return !source.worker().Running() && view.noticeLabel()->text().contains(csv); }));
  const std::string written = test::ReadFile(csv.toStdString());
  EXPECT_EQ(written.rfind("\xEF\xBB\xBF"
                          "docid,title,",
                          0),
            0u);
  EXPECT_NE(written.find("V_run"), std::string::npos);
}

TEST_F(CollectedPageTest, APageWithoutACatalogueSaysSo) {
  CollectedView view;
  CollectedSource source(view, nullptr);
  source.refresh();
  // The worker may end before its notice reaches the window: wait for the notice itself.
  EXPECT_TRUE(WaitUntil([&] {
    return !source.worker().Running() &&
           view.noticeLabel()->text().startsWith(QString::fromUtf8("视频目录无法使用"));
  })) << view.noticeLabel()->text().toStdString();
  EXPECT_EQ(view.videoTable()->model()->rowCount(), 0);
}

// A row's video: the catalogue's file once it is complete, nothing while it is not; without a
// catalogue, the file the crawl writes for the row under the current settings.
TEST_F(CollectedPageTest, ARowsActionsTargetItsCompleteVideo) {
  auto form = MemoryForm::MainWindow();
  form->setText(mw::kOutputFolder, Utf8ToGbk(root_ + "/video"));
  form->setChecked(mw::kNoSubfolders, true);
  const std::string done = addVideo("V_done", "完成的视频", 10, "2026-12-09T10:00:00+08:00");
  struct Case {
    const char* docid;
    const char* title;
    Catalogue* catalogue;
    std::string file;
  };
  const Case cases[] = {
      {"V_done", "完成的视频", catalogue_.get(), done},
      {"V_running", "完成的视频", catalogue_.get(), ""},  // same name, no catalogue row: not this video
      {"V_done", "完成的视频", nullptr, done},
      {"V_other", "没有的视频", nullptr, ""},
      {"", "完成的视频", catalogue_.get(), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.docid);
    const RowHandle row = form->addRow(mw::kVideoList);
    form->setCell(mw::kVideoList, row, mw::kColDocid, c.docid);
    form->setCell(mw::kVideoList, row, mw::kColTitle, Utf8ToGbk(c.title));
    form->setCell(mw::kVideoList, row, mw::kColWidth, "1280");
    form->setCell(mw::kVideoList, row, mw::kColHeight, "720");
    const MainWindow::RowVideo video = RowVideoOf(*form, row, c.catalogue);
    EXPECT_EQ(video.file.toStdString(), c.file);
    EXPECT_EQ(video.link, *c.docid ? QtFromGbk(ArticleLink(c.docid)) : QString());
  }
}

}  // namespace
}  // namespace pelvaro

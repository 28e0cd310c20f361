#include "collector/categories.h"

#include <gtest/gtest.h>

#include <optional>

#include "collector/platform_api.h"
#include "collector/sim_fixture.h"
#include "platform/memory_form.h"
#include "platform/window_layout.h"
#include "platform/worker.h"

namespace pelvaro {
namespace {

namespace mw = main_window;
using testing::RefusedPort;
using testing::SimFixture;

std::vector<Text> Items(MemoryForm& form) {
  std::vector<Text> items;
  for (int i = 0; i < form.itemCount(mw::kCategoryBox); ++i)
    items.push_back(form.itemText(mw::kCategoryBox, i));
  return items;
}

TEST(SplitCategoryList, CrLfSplitsEmptyLinesStayAndAFinalCrLfAddsNothing) {
  const Text ent = Gbk("娱乐");
  const Text sport = Gbk("体育");
  const struct {
    Text list;
    std::vector<Text> lines;
  } cases[] = {
      {"", {}},
      {ent + "\r\n" + sport + "\r\n", {ent, sport}},
      {ent + "\r\n" + sport, {ent, sport}},
      {ent + "\r\n\r\n" + sport + "\r\n", {ent, "", sport}},
      {"\r\n", {""}},
      {"\r\n\r\n", {"", ""}},
      // Only CR LF ends a line; the bytes between are taken as they are.
      {"a\nb\r\nc\r", {"a\nb", "c\r"}},
      {"\r\r\n", {"\r"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCategoryList(c.list), c.lines) << GbkToUtf8(c.list);
}

TEST(FillCategoryBox, AllCategoriesFirstAndSelectedOldItemsGone) {
  auto form = MemoryForm::MainWindow();
  form->addItem(mw::kCategoryBox, "old");
  form->setCurrentIndex(mw::kCategoryBox, 0);
  FillCategoryBox(*form, {Gbk("娱乐"), "", Gbk("体育")});
  EXPECT_EQ(Items(*form), (std::vector<Text>{Gbk("所有类目"), Gbk("娱乐"), "", Gbk("体育")}));
  EXPECT_EQ(form->currentIndex(mw::kCategoryBox), 0);

  FillCategoryBox(*form, {});
  EXPECT_EQ(Items(*form), std::vector<Text>{Gbk("所有类目")});
  EXPECT_EQ(form->currentIndex(mw::kCategoryBox), 0);
}

// The category list from each source, with the other one silent, refused or absent.
TEST(LoadCategoryList, ServiceThenListHostThenAllCategoriesAlone) {
  enum class Api { Answers, Empty, Refused };
  const struct {
    const char* name;
    Api api;
    bool listHost;
    bool expectList;
  } cases[] = {
      {"service answers", Api::Answers, true, true},
      {"service empty, list host answers", Api::Empty, true, true},
      {"service refused, list host answers", Api::Refused, true, true},
      {"service empty, list host refused", Api::Empty, false, false},
      {"both refused", Api::Refused, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimOptions options;
    options.no_category_service = c.api == Api::Empty;
    SimFixture sim(options);
    ASSERT_TRUE(sim.started());
    RefusedPort refused;
    if (c.api == Api::Refused) setenv("PELVARO_VENDOR_API_HOST", refused.address().c_str(), 1);
    if (!c.listHost) setenv("PELVARO_VENDOR_LIST_HOST", refused.address().c_str(), 1);

    auto form = MemoryForm::MainWindow();
    form->addItem(mw::kCategoryBox, "stale");
    Worker loader;
    loader.Start([&form] { LoadCategoryList(*form); });
    loader.Join();

    std::vector<Text> expected = {Gbk("所有类目")};
    if (c.expectList) {
      for (const auto& name : sim.graph().Categories()) expected.push_back(Utf8ToGbk(name));
    }
    EXPECT_EQ(Items(*form), expected);
    EXPECT_EQ(form->currentIndex(mw::kCategoryBox), 0);

    // The service is asked for "all" first; the list host only when the service gave nothing.
    const auto api = sim.requests("vendor_api");
    const auto list = sim.requests("vendor_list");
    if (c.api != Api::Refused) {
      ASSERT_EQ(api.size(), 1u);
      EXPECT_EQ(api[0]["target"], "/pelvaro?leimu=%61%6C%6C&id=&del=");
    }
    EXPECT_EQ(list.size(), c.api == Api::Answers || !c.listHost ? 0u : 1u);
    if (!list.empty()) {
      EXPECT_EQ(list[0]["target"], "/list.txt");
    }
  }
}

TEST(LoadCategoryList, StoppedLoaderLeavesTheBoxAlone) {
  SimFixture sim;
  ASSERT_TRUE(sim.started());
  auto form = MemoryForm::MainWindow();
  form->addItem(mw::kCategoryBox, "kept");
  std::stop_source stop;
  stop.request_stop();
  {
    StopScope scope(stop.get_token());
    LoadCategoryList(*form);
  }
  EXPECT_EQ(Items(*form), std::vector<Text>{"kept"});
}

class ContextMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("PELVARO_PLATFORM_WEB_HOST", "127.0.0.1:9", 1);
    for (const char* docid : {"V_first", "abc", "V_third"}) {
      const RowHandle row = form_->addRow(mw::kVideoList);
      form_->setCell(mw::kVideoList, row, mw::kColDocid, docid);
      rows_.push_back(row);
    }
  }
  void TearDown() override { unsetenv("PELVARO_PLATFORM_WEB_HOST"); }

  std::unique_ptr<MemoryForm> form_ = MemoryForm::MainWindow();
  std::vector<RowHandle> rows_;
};

TEST_F(ContextMenuTest, IndexQueueReplacesTheSeedLinkWithTheSelectedRowsArticle) {
  form_->selectRow(mw::kVideoList, rows_[1]);
  RunContextMenuItem(*form_, "加入索引序列");
  EXPECT_EQ(form_->text(mw::kSeedLink), "https://127.0.0.1:9/article/abc?title_sn=0");

  // Without a selection the link of an empty docid is written, as the row index reads.
  form_->selectRow(mw::kVideoList, kNoRow);
  AddSelectedToIndexQueue(*form_);
  EXPECT_EQ(form_->text(mw::kSeedLink), "https://127.0.0.1:9/article/?title_sn=0");
  EXPECT_EQ(form_->rowCount(mw::kVideoList), 3);
}

TEST_F(ContextMenuTest, ClearListDeletesEveryRowAndLaterCellWritesHaveNoEffect) {
  const Text link = form_->text(mw::kSeedLink);
  RunContextMenuItem(*form_, "取消操作");
  RunContextMenuItem(*form_, "no such item");
  EXPECT_EQ(form_->rowCount(mw::kVideoList), 3);
  EXPECT_EQ(form_->text(mw::kSeedLink), link);

  RunContextMenuItem(*form_, "清空列表");
  EXPECT_EQ(form_->rowCount(mw::kVideoList), 0);
  // A crawl still holding a row of the cleared list writes into nothing.
  form_->setCell(mw::kVideoList, rows_[0], mw::kColDownload, "50%");
  form_->deleteRow(mw::kVideoList, rows_[2]);
  EXPECT_EQ(form_->rowCount(mw::kVideoList), 0);
  EXPECT_EQ(form_->cell(mw::kVideoList, rows_[0], mw::kColDownload), "");
  ClearVideoList(*form_);
  EXPECT_EQ(form_->rowCount(mw::kVideoList), 0);
  EXPECT_EQ(form_->text(mw::kSeedLink), link);
}

}  // namespace
}  // namespace pelvaro

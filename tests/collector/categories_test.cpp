#include "collector/categories.h"

#include <gtest/gtest.h>

#include "collector/platform_api.h"
#include "platform/memory_form.h"
#include "platform/window_layout.h"

namespace pelvaro {
namespace {

namespace mw = main_window;

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

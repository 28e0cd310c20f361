#include "platform/memory_form.h"

#include <gtest/gtest.h>

#include "platform/worker.h"

namespace pelvaro {
namespace {

namespace mw = main_window;

TEST(MemoryForm, MainWindowStartsWithDesignDefaults) {
  auto form = MemoryForm::MainWindow();
  EXPECT_EQ(form->text(mw::kHours), "300");
  EXPECT_EQ(form->text(mw::kCrawlButton), Gbk("开始"));
  EXPECT_TRUE(form->checked(mw::kNoSubfolders));
  EXPECT_FALSE(form->visible(mw::kMinWidth));
  EXPECT_EQ(form->text(mw::kSeedLink).substr(0, 9), " https://");
  EXPECT_EQ(form->caption(), Gbk("2.1 Pelvaro视频采集助手"));
  auto edits = form->controlsOfKind(ControlKind::EditBox);
  EXPECT_EQ(edits.size(), 13u);
  EXPECT_EQ(form->controlsOfKind(ControlKind::CheckBox), std::vector<std::string>{std::string(mw::kNoSubfolders)});
}

TEST(MemoryForm, RowHandlesSurviveDeletionOfOtherRows) {
  auto form = MemoryForm::MainWindow();
  RowHandle a = form->addRow(mw::kVideoList);
  RowHandle b = form->addRow(mw::kVideoList);
  form->setCell(mw::kVideoList, b, mw::kColDocid, "V_b");
  form->deleteRow(mw::kVideoList, a);
  EXPECT_EQ(form->cell(mw::kVideoList, b, mw::kColDocid), "V_b");
  EXPECT_EQ(form->rowAt(mw::kVideoList, 0), b);
  form->clearRows(mw::kVideoList);
  form->setCell(mw::kVideoList, b, mw::kColDocid, "late");  // a deleted row ignores changes
  EXPECT_EQ(form->rowCount(mw::kVideoList), 0);
  EXPECT_EQ(form->cell(mw::kVideoList, b, mw::kColDocid), "");
}

TEST(MemoryForm, LogAndComboAndMessages) {
  auto form = MemoryForm::MainWindow();
  form->appendLine(mw::kLog, "one");
  form->appendLine(mw::kLog, "two");
  EXPECT_EQ(form->text(mw::kLog), "one\r\ntwo\r\n");
  form->addItem(mw::kCategoryBox, Gbk("所有类目"));
  form->setCurrentIndex(mw::kCategoryBox, 0);
  EXPECT_EQ(form->text(mw::kCategoryBox), Gbk("所有类目"));
  form->setCurrentIndex(mw::kCategoryBox, 5);
  EXPECT_EQ(form->currentIndex(mw::kCategoryBox), -1);
  form->setMessageHandler([](const MemoryForm::ShownMessage&) { return false; });
  EXPECT_FALSE(form->messageBox("hi", "", MessageButtons::OkCancel));
  ASSERT_EQ(form->shownMessages().size(), 1u);
  EXPECT_EQ(form->shownMessages()[0].title, Gbk("信息："));
}

TEST(MemoryForm, StoppedWorkerChangesNothing) {
  auto form = MemoryForm::MainWindow();
  std::stop_source source;
  StopScope scope(source.get_token());
  form->appendLine(mw::kLog, "before");
  source.request_stop();
  form->appendLine(mw::kLog, "after");
  EXPECT_EQ(form->addRow(mw::kVideoList), kNoRow);
  EXPECT_EQ(form->text(mw::kLog), "before\r\n");
}

}  // namespace
}  // namespace pelvaro

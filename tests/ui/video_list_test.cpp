// The video list of the main window as a user reads it during a crawl: progress cells drawn as
// bars, cut cells with their whole text as a tooltip, columns that fit the list until the user
// sizes one, and the actions on a row whose video is on disk.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>
#include <cmath>
#include <numeric>

#include "platform/window_layout.h"
#include "ui/column_fit.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/video_list_delegate.h"

namespace pelvaro {
namespace {

namespace mw = main_window;

QTreeWidget* VideoList(MainWindow& window) {
  return window.findChild<QTreeWidget*>(QtFromUtf8(mw::kVideoList));
}

std::vector<int> Widths(QTreeWidget* list) {
  std::vector<int> widths;
  for (int i = 0; i < list->columnCount(); ++i) widths.push_back(list->columnWidth(i));
  return widths;
}

// The tooltip the list shows for a cell where it stands now.
QString ToolTipOf(QTreeWidget* list, QTreeWidgetItem* item, int column) {
  auto* delegate = dynamic_cast<VideoListDelegate*>(list->itemDelegate());
  if (delegate == nullptr) return QStringLiteral("no delegate");
  const QModelIndex index = list->model()->index(list->indexOfTopLevelItem(item), column);
  QStyleOptionViewItem option;
  option.initFrom(list->viewport());
  option.rect = list->visualRect(index);
  option.widget = list;
  return delegate->toolTipFor(option, index);
}

TEST(ProgressCell, TheBarShowsTheRoundedPercentAndAFullBarOnlyWhenDone) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0%"},     {0.004, "0%"}, {0.3799749, "38%"}, {0.385, "39%"}, {0.994, "99%"},
      {0.9999, "99%"}, {1.0, "100%"}, {1.7, "100%"},      {-0.5, "0%"},   {std::nan(""), "0%"},
  };
  for (auto [fraction, shown] : cases) EXPECT_EQ(ProgressPercentText(fraction), shown) << fraction;
}

TEST(ProgressCell, TheFractionTravelsBesideTheTextUntilAPlainTextReplacesIt) {
  MainWindow window;
  window.show();
  Form& form = window.form();
  const RowHandle row = form.addRow(mw::kVideoList);
  form.setProgressCell(mw::kVideoList, row, mw::kColDownload, "37.99749%", 0.3799749);
  QTreeWidgetItem* item = VideoList(window)->topLevelItem(0);
  EXPECT_EQ(form.cell(mw::kVideoList, row, mw::kColDownload),
            "37.99749%");  // the text as other code reads it
  EXPECT_DOUBLE_EQ(item->data(mw::kColDownload, kCellFractionRole).toDouble(), 0.3799749);
  EXPECT_EQ(ToolTipOf(VideoList(window), item, mw::kColDownload), "<qt>37.99749%</qt>");

  form.setCell(mw::kVideoList, row, mw::kColDownload, Gbk("下载失败：连接中断"));
  EXPECT_FALSE(item->data(mw::kColDownload, kCellFractionRole).isValid());
}

TEST(VideoListCells, ACutCellShowsItsWholeTextAsAQuotedTooltip) {
  MainWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  Form& form = window.form();
  const RowHandle row = form.addRow(mw::kVideoList);
  const std::string title = "<b>一个很长很长的标题</b>，长到在设计大小的窗口里一定放不下";
  form.setCell(mw::kVideoList, row, mw::kColTitle, Utf8ToGbk(title));
  form.setCell(mw::kVideoList, row, mw::kColCategory, Gbk("娱乐"));
  QTreeWidget* list = VideoList(window);
  QTreeWidgetItem* item = list->topLevelItem(0);
  EXPECT_EQ(ToolTipOf(list, item, mw::kColTitle),
            "<qt>" + QString::fromStdString(title).toHtmlEscaped() + "</qt>");
  EXPECT_EQ(ToolTipOf(list, item, mw::kColCategory), "");  // whole already
}

TEST(VideoListColumns, ColumnsFitTheListUntilTheUserSizesOne) {
  MainWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QTreeWidget* list = VideoList(window);
  QHeaderView* header = list->header();
  const std::vector<int> design = Widths(list);
  for (int i = 0; i < list->columnCount(); ++i) {
    EXPECT_GE(design[i], header->sectionSizeHint(i)) << "header " << i << " is cut";
  }
  EXPECT_EQ(*std::max_element(design.begin(), design.end()), design[mw::kColTitle]);
  EXPECT_LE(std::accumulate(design.begin(), design.end(), 0), list->viewport()->width());
  EXPECT_TRUE(window.form().columnWidths(mw::kVideoList).empty());  // nothing chosen by the user yet

  const int designWidth = list->width();
  window.resize(1200, 800);
  QApplication::processEvents();
  EXPECT_GT(list->width(), designWidth);
  const std::vector<int> wide = Widths(list);
  for (int i = 0; i < list->columnCount(); ++i) EXPECT_GE(wide[i], design[i]) << i;
  EXPECT_GT(wide[mw::kColTitle], design[mw::kColTitle]);

  // The user widens a column: from now on every width is the user's.
  header->resizeSection(mw::kColUrl, wide[mw::kColUrl] + 40);
  const std::vector<int> chosen = Widths(list);
  EXPECT_EQ(window.form().columnWidths(mw::kVideoList), chosen);
  window.resize(1000, 600);
  QApplication::processEvents();
  EXPECT_EQ(Widths(list), chosen);

  // Widths from the settings are the user's too.
  MainWindow next;
  next.form().setColumnWidths(mw::kVideoList, chosen);
  next.show();
  QApplication::processEvents();
  EXPECT_EQ(Widths(VideoList(next)), chosen);
  EXPECT_EQ(next.form().columnWidths(mw::kVideoList), chosen);
}

TEST(VideoListRows, TheActionsOfARowWorkOnItsVideoOnDisk) {
  const QString file = QStringLiteral("/data/video/海边的日落.mp4");
  const QString link = QStringLiteral("https://platform.example/article/V_a?title_sn=0");
  RowHandle onDisk = kNoRow;
  MainWindow::Events events;
  events.rowVideo = [&](MainWindow&, RowHandle row) {
    return row == onDisk ? MainWindow::RowVideo{file, link} : MainWindow::RowVideo{QString(), link};
  };
  MainWindow window(events);
  std::vector<QUrl> opened;
  window.setUrlOpener([&](const QUrl& url) { opened.push_back(url); });
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  Form& form = window.form();
  onDisk = form.addRow(mw::kVideoList);
  const RowHandle running = form.addRow(mw::kVideoList);
  QTreeWidget* list = VideoList(window);

  auto rowActions = [&](RowHandle row) {
    window.prepareMenuFor(row);
    std::map<QString, QAction*> visible;
    for (QAction* action : window.contextMenu()->actions()) {
      if (action->isVisible() && !action->isSeparator()) visible[action->text()] = action;
    }
    return visible;
  };
  EXPECT_EQ(rowActions(running).size(), 3u);  // only the menu's own items
  auto actions = rowActions(onDisk);
  ASSERT_EQ(actions.size(), 6u);
  actions.at(QStringLiteral("打开文件"))->trigger();
  actions.at(QStringLiteral("打开所在文件夹"))->trigger();
  actions.at(QStringLiteral("复制链接"))->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), link);

  // A double-click opens the video; on a row whose video is not on disk it does nothing.
  for (int index : {1, 0}) {
    QTreeWidgetItem* item = list->topLevelItem(index);
    const QPoint at = list->visualItemRect(item).center();
    // Through the window system, as a user's double-click arrives.
    QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, list->viewport()->mapTo(&window, at));
  }
  const std::vector<QUrl> expected = {QUrl::fromLocalFile(file), QUrl::fromLocalFile("/data/video"),
                                      QUrl::fromLocalFile(file)};
  EXPECT_EQ(opened, expected);
}

}  // namespace
}  // namespace pelvaro

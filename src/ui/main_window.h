#pragma once
// The collector's working window: the layout of named controls, the list view's pop-up menu
// and the bindings of its events. What the events do is up to the hooks the program supplies.
//
// The window is resizable down to its design size: the list, the settings tabs' height and the
// log grow with it, every other control keeps its place. The status bar carries messages in
// its panel and the crawl's totals beside them; the page 已采集 shows the collected videos.

#include <QMainWindow>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

#include "ui/qt_form.h"

class QLabel;
class QMenu;
class QTreeWidgetItem;

namespace pelvaro {

class CollectedView;
class ColumnFit;

class MainWindow : public QMainWindow {
 public:
  using Hook = std::function<void(MainWindow&)>;
  // A row's video as its actions see it: the file when the video is on disk (empty otherwise)
  // and the link 复制链接 copies.
  struct RowVideo {
    QString file;
    QString link;
  };
  struct Events {
    Hook created;             // at the end of construction, before the window is shown
    Hook closing;             // the user closes the window
    Hook crawlClicked;        // 按钮1
    Hook saveClicked;         // 按钮2
    Hook contributeClicked;   // 按钮_开始
    Hook folderLabelPressed;  // 标签1 pressed (mouse, or the space bar while it has the focus)
    Hook addToIndexChosen;    // menu "加入索引序列"
    Hook clearListChosen;     // menu "清空列表"
    Hook cancelChosen;        // menu "取消操作"
    Hook collectedShown;      // the page 已采集 was brought to the front
    // Asked when a row is double-clicked and when the menu opens on a row.
    std::function<RowVideo(MainWindow&, RowHandle)> rowVideo;
  };

  explicit MainWindow(Events events = {});
  ~MainWindow() override;

  Form& form() { return *form_; }
  QMenu* contextMenu() const { return menu_; }
  QLabel* totalsLabel() const { return totals_; }
  CollectedView* collectedView() const { return collected_; }

  // Opens files and folders; the desktop's default program unless a test replaces it.
  void setUrlOpener(std::function<void(const QUrl&)> opener);
  // The menu as it pops up for a row (kNoRow: no row under the cursor).
  void prepareMenuFor(RowHandle row);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fire(const Hook& hook);
  void bindControls();
  void buildList();
  void buildStatusBar();
  void buildCollectedPage();
  void attachHoursSpinner();
  void openUrl(const QUrl& url);
  void rowActivated(QTreeWidgetItem* item);

  Events events_;
  std::unique_ptr<QtForm> form_;
  QMenu* menu_ = nullptr;
  QAction* openFile_ = nullptr;
  QAction* openFolder_ = nullptr;
  QAction* copyLink_ = nullptr;
  QAction* rowSeparator_ = nullptr;
  RowVideo menuRow_;
  QLabel* totals_ = nullptr;
  CollectedView* collected_ = nullptr;
  std::function<void(const QUrl&)> opener_;
};

}  // namespace pelvaro

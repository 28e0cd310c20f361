#include "ui/main_window.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/window_layout.h"
#include "ui/collected_view.h"
#include "ui/column_fit.h"
#include "ui/qt_text.h"
#include "ui/video_list_delegate.h"
#include "ui/window_builder.h"

namespace pelvaro {
namespace {

namespace mw = main_window;

constexpr int kHoursMin = 1;
constexpr int kHoursMax = 10000;
constexpr int kSpinnerWidth = 16;

// What grows when the window does: the main tabs and the list take the new room, the settings
// tabs and the save button stay at the right edge, the log takes the new height.
constexpr ControlAnchor kAnchors[] = {
    {mw::kMainTabs, kStretchRight | kStretchDown},
    {mw::kSaveButton, kFollowRight},
    {mw::kVideoList, kStretchRight | kStretchDown},
    {mw::kSettingsTabs, kFollowRight | kStretchDown},
    {mw::kLog, kStretchDown},
};

// The row actions of a video on disk, after the menu's own items.
const char* const kOpenFile = "打开文件";
const char* const kOpenFolder = "打开所在文件夹";
const char* const kCopyLink = "复制链接";

// What each column of the video list must show uncut, and shows when there is room.
// What each column of the video list must show uncut, and shows when there is room: the short
// columns come whole first, then the address and the title share what is left.
std::vector<ColumnRoom> VideoListRoom() {
  auto u = [](const char* utf8) { return QString::fromUtf8(utf8); };
  return {
      {u("500"), u("500"), 0},                                                      // 序号
      {u("娱乐"), u("娱乐娱乐"), 0},                                                // 类目
      {u("八个字的视频标题"), u("一个二十来个字的视频标题也能完整地显示出来"), 1},  // 标题
      {u("htt…mp4"), u("https://127.0.0.1:47801/video/V_abcdefgh/2.mp4"), 1},       // url
      {u("900"), u("900"), 0},                                                      // 时长
      {u("1.2"), u("0.7120265960388"), 0},                                          // 大小M
      {u("2026-1"), u("2026-12-09 15:10:08"), 0},                                   // 日期
      {u("V_a"), u("V_9En8C3uzM"), 0},                                              // docid
      {u("1920"), u("1920"), 0},                                                    // 宽度
      {u("1920"), u("1920"), 0},                                                    // 高度
      {u("100%"), u("下载失败：连接"), 0},                                          // 下载
  };
}

template <class W>
W* Child(QWidget* window, std::string_view name) {
  return window->findChild<W*>(QtFromUtf8(name));
}

// One step of the up-down spinner on a number box: the box's number read leniently, moved by
// one and kept within the spinner's range.
void StepNumber(QLineEdit* edit, int step) {
  std::int64_t value = ReadLenientInt(GbkFromQt(edit->text())) + step;
  value = std::clamp<std::int64_t>(value, kHoursMin, kHoursMax);
  edit->setText(QString::number(value));
}

}  // namespace

MainWindow::MainWindow(Events events) : events_(std::move(events)) {
  BuildWindow(*this, MainWindowSpec(), kAnchors);
  form_ = std::make_unique<QtForm>(this, MainWindowSpec());
  // The seed link's design-time content names the platform host, known only at run time.
  form_->setText(mw::kSeedLink, Gbk(DefaultSeedLinkUtf8()));

  menu_ = new QMenu(this);
  menu_->setObjectName(QtFromUtf8(mw::kContextMenu));
  auto items = ContextMenuItems();
  const Hook* hooks[] = {&events_.addToIndexChosen, &events_.clearListChosen, &events_.cancelChosen};
  for (std::size_t i = 0; i < items.size(); ++i) {
    QAction* action = menu_->addAction(QtFromUtf8(items[i]));
    const Hook* hook = i < std::size(hooks) ? hooks[i] : nullptr;
    connect(action, &QAction::triggered, this, [this, hook] {
      if (hook != nullptr) fire(*hook);
    });
  }
  rowSeparator_ = menu_->addSeparator();
  openFile_ = menu_->addAction(QString::fromUtf8(kOpenFile));
  openFolder_ = menu_->addAction(QString::fromUtf8(kOpenFolder));
  copyLink_ = menu_->addAction(QString::fromUtf8(kCopyLink));
  // The row actions work on the row the menu opened for, and only on a video that is on disk.
  connect(openFile_, &QAction::triggered, this, [this] {
    if (!menuRow_.file.isEmpty()) openUrl(QUrl::fromLocalFile(menuRow_.file));
  });
  connect(openFolder_, &QAction::triggered, this, [this] {
    if (!menuRow_.file.isEmpty()) openUrl(QUrl::fromLocalFile(QFileInfo(menuRow_.file).absolutePath()));
  });
  connect(copyLink_, &QAction::triggered, this, [this] {
    if (!menuRow_.file.isEmpty()) QGuiApplication::clipboard()->setText(menuRow_.link);
  });
  prepareMenuFor(kNoRow);

  bindControls();
  buildList();
  buildStatusBar();
  buildCollectedPage();
  attachHoursSpinner();
  fire(events_.created);
}

MainWindow::~MainWindow() = default;

void MainWindow::fire(const Hook& hook) {
  if (hook) hook(*this);
}

void MainWindow::setUrlOpener(std::function<void(const QUrl&)> opener) {
  opener_ = opener;
  collected_->setUrlOpener(std::move(opener));
}

void MainWindow::openUrl(const QUrl& url) {
  if (opener_) {
    opener_(url);
  } else {
    QDesktopServices::openUrl(url);
  }
}

void MainWindow::prepareMenuFor(RowHandle row) {
  menuRow_ = row != kNoRow && events_.rowVideo ? events_.rowVideo(*this, row) : RowVideo{};
  const bool onDisk = !menuRow_.file.isEmpty();
  for (QAction* action : {rowSeparator_, openFile_, openFolder_, copyLink_}) action->setVisible(onDisk);
}

void MainWindow::rowActivated(QTreeWidgetItem* item) {
  const RowHandle row = RowHandleOf(item);
  if (row == kNoRow || !events_.rowVideo) return;
  const RowVideo video = events_.rowVideo(*this, row);
  if (!video.file.isEmpty()) openUrl(QUrl::fromLocalFile(video.file));
}

void MainWindow::bindControls() {
  auto bindClick = [this](std::string_view name, Hook Events::*member) {
    if (auto* button = Child<QAbstractButton>(this, name)) {
      connect(button, &QAbstractButton::clicked, this, [this, member] { fire(events_.*member); });
    }
  };
  bindClick(mw::kCrawlButton, &Events::crawlClicked);
  bindClick(mw::kSaveButton, &Events::saveClicked);
  bindClick(mw::kContributeButton, &Events::contributeClicked);
  bindClick(mw::kFolderLabel, &Events::folderLabelPressed);
}

void MainWindow::buildList() {
  auto* list = Child<QTreeWidget>(this, mw::kVideoList);
  if (list == nullptr) return;
  list->setItemDelegate(new VideoListDelegate({mw::kColUrl}, list));
  auto* fit = new ColumnFit(list, VideoListRoom(), mw::kColTitle);
  fit->refit();
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint& at) {
    prepareMenuFor(RowHandleOf(list->itemAt(at)));
    menu_->popup(list->viewport()->mapToGlobal(at));
  });
  connect(list, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { rowActivated(item); });
}

void MainWindow::buildStatusBar() {
  QStatusBar* bar = Child<QStatusBar>(this, mw::kStatusBar);
  if (bar == nullptr) return;
  totals_ = new QLabel(bar);
  totals_->setObjectName(QStringLiteral("totals"));
  totals_->setTextFormat(Qt::PlainText);
  bar->addPermanentWidget(totals_);
}

void MainWindow::buildCollectedPage() {
  auto* tabs = Child<QTabWidget>(this, mw::kMainTabs);
  QWidget* page = tabs != nullptr ? tabs->widget(mw::kCollectedPage) : nullptr;
  auto* layout = new QVBoxLayout(page != nullptr ? page : new QWidget(this));
  layout->setContentsMargins(0, 0, 0, 0);
  collected_ = new CollectedView;
  layout->addWidget(collected_);
  if (tabs != nullptr) {
    connect(tabs, &QTabWidget::currentChanged, this, [this](int index) {
      if (index == mw::kCollectedPage) fire(events_.collectedShown);
    });
  }
}

void MainWindow::attachHoursSpinner() {
  auto* edit = Child<QLineEdit>(this, mw::kHours);
  if (edit == nullptr) return;
  edit->setTextMargins(0, 0, kSpinnerWidth, 0);
  int half = edit->height() / 2;
  struct Arrow {
    Qt::ArrowType type;
    int top;
    int height;
    int step;
  };
  for (const Arrow& arrow :
       {Arrow{Qt::UpArrow, 0, half, 1}, Arrow{Qt::DownArrow, half, edit->height() - half, -1}}) {
    auto* button = new QToolButton(edit);
    button->setArrowType(arrow.type);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setGeometry(edit->width() - kSpinnerWidth, arrow.top, kSpinnerWidth, arrow.height);
    connect(button, &QToolButton::clicked, edit, [edit, step = arrow.step] { StepNumber(edit, step); });
  }
  edit->installEventFilter(this);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  fire(events_.closing);
  event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched->objectName() == QtFromUtf8(mw::kHours)) {
    int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      StepNumber(static_cast<QLineEdit*>(watched), key == Qt::Key_Up ? 1 : -1);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace pelvaro

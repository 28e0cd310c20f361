// Shows one of the two windows with sample content, for looking at the layout and for
// screenshots: ui_window_viewer main|startup [--plain] [--quit-after-ms N] [--page TABS=INDEX]...
#include <QApplication>
#include <QTabWidget>
#include <QTimer>
#include <cstring>
#include <memory>
#include <string>

#include "platform/window_layout.h"
#include "ui/main_window.h"
#include "ui/skin.h"
#include "ui/startup_window.h"

namespace {

using namespace pelvaro;

void FillMainSample(Form& form) {
  namespace mw = main_window;
  form.setCaption(Gbk("Pelvaro视频采集助手v4.6"));
  form.setText(mw::kOutputFolder, "/home/user/pelvaro/video");
  form.setText(mw::kSeedLink, DefaultSeedLinkUtf8());
  for (const char* category : {"所有类目", "娱乐", "体育", "科技", "美食"})
    form.addItem(mw::kCategoryBox, Gbk(category));
  form.setCurrentIndex(mw::kCategoryBox, 0);
  form.setText(mw::kCrawlButton, Gbk("停止"));
  const char* rows[][11] = {
      {"1", "娱乐", "海边的日落延时摄影", "https://v.example/video/V_08V5GNla/2.mp4", "35", "6.212345678901",
       "2026-12-09 08:15:00", "V_08V5GNla", "1280", "720", "100%"},
      {"2", "体育", "周末城市马拉松精彩瞬间", "https://v.example/video/V_08V5GNlb/1.mp4", "82",
       "14.80517578125", "2026-12-09 07:40:12", "V_08V5GNlb", "720", "1280", "45.3125%"},
      {"3", "美食", "家常红烧肉的做法", "https://v.example/video/V_08V5GNlc/0.mp4", "4", "0.9",
       "2026-12-08 21:05:33", "V_08V5GNlc", "640", "360", "时长不符"},
  };
  const double progress[] = {1.0, 0.453125, -1};
  for (std::size_t r = 0; r < std::size(rows); ++r) {
    RowHandle handle = form.addRow(mw::kVideoList);
    for (int column = 0; column < mw::kColumnCount; ++column)
      form.setCell(mw::kVideoList, handle, column, Gbk(rows[r][column]));
    if (progress[r] >= 0)
      form.setProgressCell(mw::kVideoList, handle, mw::kColDownload, rows[r][mw::kColDownload], progress[r]);
  }
  for (const char* line : {"读取到数据：50", "开始下载：海边的日落延时摄影", "任务完成，开始下一个。",
                           "开始下载：周末城市马拉松精彩瞬间"}) {
    form.appendLine(mw::kLog, Gbk(line));
  }
}

void FillStartupSample(Form& form) {
  namespace sw = startup_window;
  form.setCaption(Gbk("Pelvaro视频下载器    按Esc键关闭软件"));
  form.setText(sw::kBoardTitle, Gbk("Pelvaro视频下载器公告"));
  form.setPanelText(sw::kStatusBar, 0, Gbk("版本v4.6"));
  form.setPanelText(sw::kStatusBar, 1, Gbk("更新服务器正常"));
  form.setPanelText(sw::kStatusBar, 2, Gbk("千里之行，始于足下。"));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  bool startup = argc > 1 && std::strcmp(argv[1], "startup") == 0;
  bool plain = false;
  int quitAfterMs = 0;
  QStringList pages;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plain") == 0) plain = true;
    if (std::strcmp(argv[i], "--quit-after-ms") == 0 && i + 1 < argc) quitAfterMs = std::stoi(argv[++i]);
    if (std::strcmp(argv[i], "--page") == 0 && i + 1 < argc) pages << QString::fromLocal8Bit(argv[++i]);
  }
  if (!plain) pelvaro::ApplySkin(0, 0);

  std::unique_ptr<QWidget> window;
  if (startup) {
    auto startupWindow = std::make_unique<pelvaro::StartupWindow>();
    FillStartupSample(startupWindow->form());
    window = std::move(startupWindow);
  } else {
    auto mainWindow = std::make_unique<pelvaro::MainWindow>();
    FillMainSample(mainWindow->form());
    window = std::move(mainWindow);
  }
  for (const QString& page : pages) {
    QStringList parts = page.split('=');
    auto* tabs = window->findChild<QTabWidget*>(parts.value(0));
    if (tabs != nullptr) tabs->setCurrentIndex(parts.value(1).toInt());
  }
  window->show();
  if (quitAfterMs > 0) QTimer::singleShot(quitAfterMs, &app, &QCoreApplication::quit);
  return app.exec();
}

#include "shell/startup_steps.h"

#include "platform/data_folder.h"
#include "platform/files.h"
#include "platform/window_layout.h"
#include "platform/worker.h"
#include "shell/app_identity.h"
#include "shell/desktop.h"
#include "shell/extras.h"
#include "shell/run_log.h"
#include "shell/updater.h"

namespace pelvaro {

Text StartupCaption() { return AppTitle() + "    " + Gbk("按Esc键关闭软件"); }
Text BoardTitle() { return AppTitle() + Gbk("公告"); }
Text HelpMessage() {
  return Gbk("您好，帮助教程正在升级中，请您到官网查看图文和视频教程，或者联系客服人员。");
}
Text DriveHintText() { return Gbk("建议不要把软件放在C盘或者桌面，可以避免80%的软件异常"); }

bool ShowsDriveHint(const Path& runDir) { return !runDir.empty() && runDir.bytes().front() == 'C'; }

void ShowDriveHintIfNeeded(Form& startup) {
  if (!ShowsDriveHint(RunDir())) return;
  startup.setVisible(startup_window::kUpdatePanel, true);
  startup.setText(startup_window::kUpdatePanel, DriveHintText());
}

bool CreateStartupShortcut() {
  // The launcher starts the real executable, even when the data folder was moved elsewhere.
  return CreateDesktopShortcut(AppTitle(), ExecutablePath());
}

void StartupSequence(Form& startup, const StartupActions& actions) {
  startup.setTimerInterval(startup_window::kTimer, 0);
  RunLog::write(Gbk("启动窗口创建完毕"));
  if (actions.installFatalErrorHandler) actions.installFatalErrorHandler();
  startup.setCaption(StartupCaption());
  startup.setText(startup_window::kBoardTitle, BoardTitle());
  ShowDisclaimerOnce(startup);
  RunLog::write(Gbk("启动窗口线程"));
  if (actions.startThread) {
    Form* form = &startup;
    actions.startThread([form] { UpdateJob(*form); });
    actions.startThread([form] { AnnouncementJob(*form); });
  }
  CreateStartupShortcut();
  if (actions.handOver) actions.handOver();
}

void UpdateJob(Form& startup) {
  RunLog::write(Gbk("显示版本号") + AppVersion());
  startup.setPanelText(startup_window::kStatusBar, 0, Gbk("版本v") + AppVersion());
  Text current = CheckVersion();
  RunLog::write(Gbk("版本检查结果1是最新版：") + current);
  if (current == "0" && !StopRequested()) RunUpdateFlow(startup);
  if (StopRequested()) return;
  ShowDriveHintIfNeeded(startup);
  ShowQuote(startup);
}

}  // namespace pelvaro

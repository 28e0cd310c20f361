#pragma once
// The start-up sequence's steps that are no window of their own, and the sequence itself with
// the parts that belong to the program (threads, the fatal-error handler, the hand-over)
// passed in, so that the user interface calls one function on the first timer tick.

#include <functional>

#include "platform/form.h"
#include "platform/text.h"

namespace pelvaro {

// AppTitle + four blanks + "按Esc键关闭软件".
Text StartupCaption();
// AppTitle + "公告".
Text BoardTitle();
// The message of 帮助教程.
Text HelpMessage();
Text DriveHintText();

// True when the data folder's path starts with an upper-case "C", the place the hint warns of.
bool ShowsDriveHint(const Path& runDir);
// Shows 透明标签_更新 with the hint when ShowsDriveHint(RunDir).
void ShowDriveHintIfNeeded(Form& startup);

// The launcher named AppTitle on the desktop, pointing at the running executable.
bool CreateStartupShortcut();

struct StartupActions {
  std::function<void()> installFatalErrorHandler;
  // Runs a job on a detached thread; it is never waited for.
  std::function<void(std::function<void()>)> startThread;
  // Loads the main window, then moves the start-up window to x −3000 and hides it.
  std::function<void()> handOver;
};

// Steps 1 to 11 in order: timer off, "启动窗口创建完毕", fatal-error handler, caption and board
// title, the disclaimer (blocks while it is open), "启动窗口线程", UpdateJob and AnnouncementJob
// on their threads, the desktop launcher, the hand-over. Missing actions are skipped.
void StartupSequence(Form& startup, const StartupActions& actions);

// The update job of the start-up sequence, on its own thread: version in panel 0, the check,
// the update flow when outdated, the drive hint, the quote of the day.
void UpdateJob(Form& startup);

}  // namespace pelvaro

#include "shell/updater.h"

#include <spawn.h>
#include <sys/stat.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>

#include "platform/data_folder.h"
#include "platform/files.h"
#include "platform/hosts.h"
#include "platform/window_layout.h"
#include "platform/worker.h"
#include "shell/answer_text.h"
#include "shell/app_identity.h"
#include "shell/desktop.h"
#include "shell/extras.h"
#include "shell/run_log.h"
#include "shell/update_target.h"
#include "shell/update_trust.h"
#include "toolkit/json_document.h"
#include "web/ranged_downloader.h"
#include "web/web_request.h"

extern char** environ;

namespace pelvaro {
namespace {

// The update's state outlives every static destructor: a download may still report while the
// process ends.
struct UpdateState {
  Path target;
  // The file the transfer writes until it has every byte and its signature checked out; empty
  // once it took the target's name or was removed.
  Path working;
  Text version;           // the offered version the signature must name
  Text signatureAddress;  // the download address + ".minisig"
  enum class Verdict { Pending, Accepted, Refused } verdict = Verdict::Pending;
};

std::mutex& TargetMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}
UpdateState& State() {
  static auto* state = new UpdateState;
  return *state;
}

Text FailureText() { return Gbk("抱歉，自动更新失败，请到官网下载，下载后，把文件复制到当前目录"); }
Text RefusedText() { return Gbk("下载的新版本没有通过签名验证，已经删除，请到官网下载。"); }

// Decides once (the finish steps run twice) what becomes of the finished transfer: with a
// signature that checks out it takes its final name, otherwise it is removed. The signature is
// fetched without the lock held, so the window never waits for the network.
UpdateState::Verdict SettleDownloadedFile() {
  UpdateState pending;
  {
    std::lock_guard lock(TargetMutex());
    if (State().verdict != UpdateState::Verdict::Pending) return State().verdict;
    pending = State();
  }
  Text refusal;
  if (pending.working.empty() || !PathExists(pending.working)) {
    refusal = Gbk("下载的文件不见了");
  } else {
    WebRequestOptions options;
    WebResult result;
    WebRequest(pending.signatureAddress, options, result);
    const bool answered = result.status.starts_with("2");
    refusal = UpdateRefusal(pending.working, answered ? std::string_view(result.body) : std::string_view(),
                            pending.version);
  }
  std::lock_guard lock(TargetMutex());
  UpdateState& state = State();
  if (state.verdict != UpdateState::Verdict::Pending || state.working != pending.working)
    return state.verdict;
  if (refusal.empty()) {
    Path placed = MoveIntoPlace(state.working, state.target);
    if (placed.empty())
      refusal = Gbk("下载的文件无法改名");
    else
      state.target = placed;
  }
  if (!refusal.empty()) {
    RemoveFile(state.working);
    RunLog::write(Gbk("更新文件未通过验证：") + refusal);
  }
  state.working = Path();
  state.verdict = refusal.empty() ? UpdateState::Verdict::Accepted : UpdateState::Verdict::Refused;
  return state.verdict;
}

// A failed transfer leaves no half file behind; only the working file, which the started
// download created, is ever removed. After a failed start any file of that name is not ours.
void DiscardWorkingFile(bool remove) {
  std::lock_guard lock(TargetMutex());
  UpdateState& state = State();
  if (remove && !state.working.empty()) RemoveFile(state.working);
  state.working = Path();
  state.verdict = UpdateState::Verdict::Refused;
}

void FinishUpdate(Form& startup) {
  startup.setText(startup_window::kUpdatePanel, Gbk("更新结束"));
  if (!WaitFor(std::chrono::seconds(2))) return;
  if (SettleDownloadedFile() != UpdateState::Verdict::Accepted) {
    // Nothing was kept: nothing to open, and the launcher stays as it was.
    startup.setVisible(startup_window::kOpenNewVersion, false);
    startup.setText(startup_window::kUpdatePanel, RefusedText());
    return;
  }
  const Path target = UpdateTarget();
  std::int64_t sizeKb = FileSizeKb(target);
  if (sizeKb >= 20) MakeExecutable(target);
  startup.setText(startup_window::kOpenNewVersion, Gbk("打开：") + PathText(target.name()));
  startup.setVisible(startup_window::kOpenNewVersion, true);
  if (sizeKb < 20) {
    startup.setText(startup_window::kUpdatePanel, FailureText());
    return;
  }
  CreateDesktopShortcut(AppTitle(), target);
}

}  // namespace

UpdateManifest FetchManifest(const std::string& host) {
  WebRequestOptions options;
  WebResult result;
  Text body = WebRequest("http://" + host + "/" + std::string(kSoftwareId) + "/index.json", options, result);
  UpdateManifest manifest;
  JsonDocument document;
  if (!document.parse(AnswerText(body))) return manifest;
  manifest.read = true;
  manifest.version = document.textAt(Gbk("版本"));
  manifest.notes = document.textAt(Gbk("更新说明"));
  manifest.fileName = document.textAt(Gbk("文件名"));
  manifest.downloadAddress = document.textAt(Gbk("下载地址"));
  return manifest;
}

bool ProbeUpdateHost(const std::string& host) {
  WebRequestOptions options;
  WebResult result;
  Text body = WebRequest("http://" + host + "/test.txt", options, result);
  return body.substr(0, body.find('\0')) == "ok";
}

Text CheckVersion() { return FetchManifest(HostAddress(Host::Update1)).version == AppVersion() ? "1" : "0"; }

int RunUpdateFlow(Form& startup) { return RunUpdateFlow(startup, ExecutablePath()); }

int RunUpdateFlow(Form& startup, const Path& executablePath) {
  struct Probe {
    Host host;
    const char* answered;
  };
  static constexpr Probe kProbes[] = {
      {Host::Update1, "华北多线服务器正常"},
      {Host::Update2, "广州服务器正常"},
      {Host::Update3, "上海服务器正常"},
  };
  std::string chosen;
  for (const auto& probe : kProbes) {
    if (StopRequested()) return 0;
    if (ProbeUpdateHost(HostAddress(probe.host))) {
      chosen = HostAddress(probe.host);
      startup.setPanelText(startup_window::kStatusBar, 1, Gbk(probe.answered));
      break;
    }
  }
  if (chosen.empty()) {
    chosen = HostAddress(Host::Update1);
    startup.setPanelText(startup_window::kStatusBar, 1, Gbk("服务器异常，尝试使用多线服务器连接"));
  }

  RunLog::write(Gbk("启动升级程序检查"));
  UpdateManifest manifest = FetchManifest(chosen);
  // Without a manifest there is no new version to offer: prompting would announce an update
  // with empty notes and then download nothing. A manifest that was read is offered as it is.
  if (!manifest.read) return 0;
  RunLog::write(Gbk("升级文件获取到数据"));
  // Only a newer version is offered: an older one (a replayed old release, a host that went
  // back) is no update, and neither is a version that is no dotted number.
  if (!IsNewerVersion(manifest.version, AppVersion())) {
    RunLog::write(Gbk("提供的版本不比当前版本新：") + manifest.version);
    startup.setText(startup_window::kUpdatePanel, Gbk("更新服务器提供的版本不比当前版本新，不更新。"));
    return 0;
  }
  startup.setText(startup_window::kAnnouncement, Gbk("发现新版本，更新内容：\r\n") + manifest.notes);
  // An installed copy belongs to the package manager: it never downloads a program file.
  if (IsSystemFolder(executablePath.folder())) {
    RunLog::write(Gbk("已安装的程序由软件包管理器更新"));
    startup.setText(startup_window::kUpdatePanel,
                    Gbk("新版本") + manifest.version + Gbk("已发布，请用系统的软件包管理器更新。"));
    return 0;
  }
  RunLog::write(Gbk("提醒用户升级"));
  if (!startup.messageBox(startup.text(startup_window::kAnnouncement), Gbk("发现新版本，是否更新"),
                          MessageButtons::OkCancel)) {
    return 0;
  }

  startup.setText(startup_window::kUpdatePanel, Gbk("开始更新"));
  // The name comes from the network. The new version only ever becomes a new file directly in
  // RunDir: a name that points elsewhere is refused, and a name already taken (the running
  // program, a folder the program writes, any other file) moves on to "name (2)" and so on.
  const Path fileName = UpdateFileName(manifest.fileName);
  const Path target = fileName.empty() ? Path() : FreeFileIn(RunDir(), fileName);
  const Path working = target.empty() ? Path() : WorkingFileFor(target);
  if (working.empty()) {
    startup.setText(startup_window::kUpdatePanel, FailureText());
    return 0;
  }
  {
    std::lock_guard lock(TargetMutex());
    State() = UpdateState{target, working, manifest.version, manifest.downloadAddress + ".minisig",
                          UpdateState::Verdict::Pending};
  }
  Form* form = &startup;
  RangedDownloader downloader;
  int task = downloader.Download(manifest.downloadAddress, working, 2,
                                 [form](int task, int code, std::int64_t total, std::int64_t done) {
                                   UpdateProgress(*form, task, code, total, done);
                                 });
  startup.setText(startup_window::kOpenNewVersion, Gbk("打开：") + PathText(target.name()));
  if (task <= 0) {
    // Nothing will report on this download: say so instead of staying on "开始更新".
    DiscardWorkingFile(false);
    startup.setText(startup_window::kUpdatePanel, FailureText());
    return 0;
  }
  return task;
}

Path UpdateTarget() {
  std::lock_guard lock(TargetMutex());
  // Only a file that was kept may be opened.
  return State().verdict == UpdateState::Verdict::Accepted ? State().target : Path();
}

void SetUpdateTarget(const Path& target) {
  std::lock_guard lock(TargetMutex());
  State() = UpdateState{target, {}, {}, {}, UpdateState::Verdict::Accepted};
}

Text NumberText(double value) {
  // "%.13g" with "." whatever the process's locale says.
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 13);
  return Text(buffer, result.ptr);
}

Text UpdateProgressText(std::int64_t total, std::int64_t done) {
  double percent = total > 0 ? static_cast<double>(done) / static_cast<double>(total) * 100 : 0;
  return Gbk("已下载：") + NumberText(static_cast<double>(done) / 1024) + "kb/" +
         NumberText(static_cast<double>(total) / 1024) + Gbk("kb\r\n进度：") + NumberText(percent) + "%";
}

void UpdateProgress(Form& startup, int task, int code, std::int64_t total, std::int64_t done) {
  // A failed transfer reports 0 of 0; it is shown as the failure it is, not as "nan%".
  if (code == -1) {
    DiscardWorkingFile(true);
    startup.setText(startup_window::kUpdatePanel, FailureText());
    return;
  }
  double percent;
  if (total > 0) {
    percent = static_cast<double>(done) / static_cast<double>(total) * 100;
  } else {
    percent = code == 0 ? 100 : 0;  // an empty file is finished, and then too small
  }
  startup.setText(startup_window::kUpdatePanel, UpdateProgressText(total, done));
  if (std::fabs(percent - 100) <= 0.0000001) FinishUpdate(startup);
}

std::int64_t FileSizeKb(const Path& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return (static_cast<std::int64_t>(st.st_size) + 1023) / 1024;
}

bool OpenNewVersion() {
  const Path target = UpdateTarget();
  if (target.empty()) return false;
  std::string native = target.bytes();
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own session: the new version outlives this process.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  char* argv[] = {native.data(), nullptr};
  pid_t pid = 0;
  int rc = posix_spawn(&pid, native.c_str(), nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) return false;
  WaitFor(std::chrono::milliseconds(200));
  return true;
}

}  // namespace pelvaro

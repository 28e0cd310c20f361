#pragma once
// The update check and self-update. The old executable is never replaced: a newer version is
// downloaded next to it into RunDir and, only once its signature checked out (update_trust.h),
// made executable and offered through 超级按钮_打开. A copy installed in a system folder never
// downloads a program file: the package manager updates it.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/form.h"
#include "platform/path.h"
#include "platform/text.h"

namespace pelvaro {

// The members of /down_pelvaro/index.json the program reads (GBK; empty when missing).
struct UpdateManifest {
  Text version;
  Text notes;
  Text fileName;
  Text downloadAddress;
  bool read = false;  // the host answered with a JSON document
};

// The manifest of one update host ("host:port"); all members empty when unreachable or unreadable.
UpdateManifest FetchManifest(const std::string& host);

// True when http://host/test.txt answers exactly "ok" (up to a first zero byte).
bool ProbeUpdateHost(const std::string& host);

// "1" when UpdateHost1's manifest offers exactly AppVersion, else "0".
Text CheckVersion();

// Probes the update hosts and reads the manifest; for a newer version shows the release notes,
// asks through the start-up window and, on OK, starts the download of the new file (returns
// without waiting for it). Returns the download's task number, or 0 when no download was
// started. An executable in a system folder only hears that the version is out.
int RunUpdateFlow(Form& startup);
int RunUpdateFlow(Form& startup, const Path& executablePath);

// RunDir + "/" + the manifest's file name made safe, once the downloaded file was kept (its
// signature checked out); empty before and after a refusal. SetUpdateTarget names a kept file.
Path UpdateTarget();
void SetUpdateTarget(const Path& target);

// The progress callback of the update download: the kilobyte and percent text in
// 透明标签_更新 and, at 100 %, the finish steps (which may run twice with the same result):
// the signature check that keeps or removes the file, then the button and the launcher.
void UpdateProgress(Form& startup, int task, int code, std::int64_t total, std::int64_t done);

// "已下载：<done/1024>kb/<total/1024>kb\r\n进度：<percent>%" with numbers as "%.13g".
Text UpdateProgressText(std::int64_t total, std::int64_t done);
Text NumberText(double value);

// The size of a file in kilobytes, rounded up; -1 when it does not exist.
std::int64_t FileSizeKb(const Path& path);

// Starts UpdateTarget as a new process and waits 200 ms; false when there was nothing to
// start. The caller then destroys the start-up window, which ends the program.
bool OpenNewVersion();

}  // namespace pelvaro

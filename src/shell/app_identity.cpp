#include "shell/app_identity.h"

#include "platform/files.h"
#include "platform/hosts.h"

namespace pelvaro {

Text AppTitle() { return Gbk(kAppTitleUtf8); }
Text AppVersion() { return Text(kAppVersion); }

Text RunDirPath() { return Utf8ToGbk(RunDir()); }
Text DataFolder() { return JoinPath(RunDirPath(), "data"); }

Text ExecutableName() {
  std::string path = ExecutablePath();
  auto slash = path.rfind('/');
  return Utf8ToGbk(slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace pelvaro

#include "shell/app_identity.h"

#include "platform/files.h"
#include "platform/hosts.h"

namespace pelvaro {

Text AppTitle() { return Gbk(kAppTitleUtf8); }
Text AppVersion() { return Text(kAppVersion); }

Path RunDirPath() { return RunDir(); }
Path DataFolder() { return JoinPath(RunDirPath(), "data"); }

Text ExecutableName() { return PathText(ExecutablePath().name()); }

}  // namespace pelvaro

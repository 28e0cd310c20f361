#include "shell/app_identity.h"

#include "platform/data_folder.h"
#include "platform/files.h"

namespace pelvaro {

Text AppTitle() { return Gbk(kAppTitleUtf8); }
Text AppVersion() { return Text(kAppVersion); }

Text ExecutableName() { return PathText(ExecutablePath().name()); }

}  // namespace pelvaro

#pragma once
// The program's identity, as the shell uses it. The app sets nothing at run time: title,
// version and software id are fixed when the program is built.

#include <string_view>

#include "platform/path.h"
#include "platform/text.h"

namespace pelvaro {

inline constexpr std::string_view kAppTitleUtf8 = "Pelvaro视频下载器";
// Compared as text with the update manifest, never parsed as a number.
inline constexpr std::string_view kAppVersion = "4.6";
// The folder of the update manifest on the update hosts.
inline constexpr std::string_view kSoftwareId = "down_pelvaro";

Text AppTitle();  // GBK
Text AppVersion();

// The running executable's file name without folder (GBK).
Text ExecutableName();

}  // namespace pelvaro

#include "platform/window_layout.h"

#include <array>

#include "platform/hosts.h"

namespace pelvaro {
namespace {

using K = ControlKind;
using S = WidgetStyle;
constexpr std::uint32_t kNone = ControlSpec::kDefaultColor;

constexpr std::string_view kExplanationText =
    "说明：\r\n"
    "\r\n"
    "上面的按钮“共建大数据”功能，可以帮助我们服务器建立大数据系统，能帮你索引到更多的内容，"
    "增加更多种类目的采集，已知42种类目，我们会尽快完善，你用的时候，可能已经完善了42种类目。\r\n"
    "\r\n"
    "如果你愿意义务的帮忙，共建大数据系统，可以点击下上面的按钮，只会占用极少量的网络。\r\n";

constexpr std::string_view kInstructionsText =
    "如何支持你想要的视频类型？\r\n\r\n"
    "1、打开Pelvaro客户端\r\n\r\n"
    "2、选择短视频，找到你要的视频，点分享，点 复制链接\r\n\r\n"
    "3、把链接复制到上面的编辑框\r\n\r\n"
    "4、点击“共建大数据”\r\n\r\n"
    "5、等待10秒左右，你想要的此类视频，已经开始索引\r\n\r\n"
    "6、关闭本软件，再打开，就可以了。";

constexpr std::string_view kWidthLabelText =
    "筛选视频宽度           -\r\n\r\n"
    "注意，宽度筛选不准，实际宽度比显示的要大，建议下限设置600或者800，下载的就是超清了。";

constexpr std::string_view kFolderHintText =
    "不勾选，默认在文件夹下用类目创建一个文件夹，比如 设置路径为\r\n"
    "C:\\下载\r\n"
    "采集内容为娱乐类目，会保存到  C:\\下载\\娱乐";

namespace mw = main_window;

// Pages: 选择夹1 0 "采集", 1 "数据", 2 "已采集"; 选择夹2 0 "筛选", 1 "设置", 2 "保存".
const std::array kMainControls = {
    ControlSpec{mw::kMainTabs, K::TabControl, "", 0, 0, 8, 856, 440, "采集|数据|已采集"},
    // Page "采集".
    ControlSpec{mw::kCategoryLabel, K::Label, mw::kMainTabs, 0, 24, 32, 64, 24, "采集类目："},
    ControlSpec{mw::kCategoryBox, K::ComboBox, mw::kMainTabs, 0, 96, 32, 168, 20, ""},
    ControlSpec{mw::kCrawlButton, K::Button, mw::kMainTabs, 0, 287, 28, 72, 28, "开始"},
    ControlSpec{mw::kSaveButton, K::Button, mw::kMainTabs, 0, 768, 24, 72, 32, "保存设置"},
    ControlSpec{mw::kVideoList, K::ListView, mw::kMainTabs, 0, 8, 64, 544, 360, ""},
    ControlSpec{mw::kSettingsTabs, K::TabControl, mw::kMainTabs, 0, 556, 72, 288, 360, "筛选|设置|保存"},
    // Page "数据".
    ControlSpec{mw::kContributeStatus, K::Label, mw::kMainTabs, 1, 24, 40, 208, 24, "提示"},
    ControlSpec{mw::kContributeButton, K::Button, mw::kMainTabs, 1, 440, 40, 128, 32, "共建大数据"},
    ControlSpec{mw::kSeedLink, K::EditBox, mw::kMainTabs, 1, 8, 80, 376, 64, "", true, S::MultiLine},
    ControlSpec{mw::kExplanation, K::Label, mw::kMainTabs, 1, 456, 88, 352, 152, kExplanationText, true,
                S::Plain, kNone, kNone, 16, false, true},
    ControlSpec{mw::kInstructions, K::Label, mw::kMainTabs, 1, 24, 152, 416, 240, kInstructionsText, true,
                S::Plain, kNone, kNone, 16, false, true},
    // Page "筛选" of 选择夹2.
    ControlSpec{mw::kHoursLabel, K::Label, mw::kSettingsTabs, 0, 22, 30, 110, 24, "采集几小时内的数据"},
    ControlSpec{mw::kHours, K::EditBox, mw::kSettingsTabs, 0, 154, 27, 64, 32, "300"},
    ControlSpec{mw::kDurationLabel, K::Label, mw::kSettingsTabs, 0, 16, 60, 228, 21, "筛选时长（秒）         -"},
    ControlSpec{mw::kMinDuration, K::EditBox, mw::kSettingsTabs, 0, 109, 58, 32, 24, "6"},
    ControlSpec{mw::kMaxDuration, K::EditBox, mw::kSettingsTabs, 0, 184, 56, 32, 24, "600"},
    ControlSpec{mw::kSizeLabel, K::Label, mw::kSettingsTabs, 0, 17, 86, 227, 32, "筛选视频大小（M）         -"},
    ControlSpec{mw::kMinSize, K::EditBox, mw::kSettingsTabs, 0, 122, 90, 32, 24, "3"},
    ControlSpec{mw::kMaxSize, K::EditBox, mw::kSettingsTabs, 0, 185, 89, 32, 24, "1000"},
    ControlSpec{mw::kWidthLabel, K::Label, mw::kSettingsTabs, 0, 16, 136, 228, 64, kWidthLabelText, false,
                S::Plain, 0xFF0000, kNone, 0, false, true},
    ControlSpec{mw::kMinWidth, K::EditBox, mw::kSettingsTabs, 0, 109, 131, 43, 24, "0", false, S::Plain, 0xFF0000},
    ControlSpec{mw::kMaxWidth, K::EditBox, mw::kSettingsTabs, 0, 184, 129, 32, 24, "4860", false, S::Plain,
                0xFF0000},
    ControlSpec{mw::kLog, K::EditBox, mw::kSettingsTabs, 0, 12, 208, 264, 136, "", true, S::LogBox, 0xFFFFFF,
                0x000000},
    // Page "设置".
    ControlSpec{mw::kPauseLabel, K::Label, mw::kSettingsTabs, 1, 16, 56, 72, 16, "采集间隔毫秒"},
    ControlSpec{mw::kPauseMs, K::EditBox, mw::kSettingsTabs, 1, 95, 52, 40, 24, "1000"},
    ControlSpec{mw::kMaxFilesLabel, K::Label, mw::kSettingsTabs, 1, 20, 96, 256, 32,
                "成品目录视频超过               个暂停下载"},
    ControlSpec{mw::kMaxFiles, K::EditBox, mw::kSettingsTabs, 1, 132, 96, 56, 32, "100"},
    ControlSpec{mw::kFreeSpaceLabel, K::Label, mw::kSettingsTabs, 1, 16, 168, 256, 32,
                "磁盘不足              M暂停下载"},
    ControlSpec{mw::kMinFreeMb, K::EditBox, mw::kSettingsTabs, 1, 80, 168, 44, 32, "800"},
    // Page "保存".
    ControlSpec{mw::kFolderLabel, K::Label, mw::kSettingsTabs, 2, 16, 54, 248, 16, "视频下载目录设置，点这里设置目录",
                true, S::PressableLabel, 0xFF0000, kNone, 14, true},
    ControlSpec{mw::kOutputFolder, K::EditBox, mw::kSettingsTabs, 2, 8, 78, 232, 32, ""},
    ControlSpec{mw::kNoSubfolders, K::CheckBox, mw::kSettingsTabs, 2, 16, 126, 192, 34, "不使用类目名称作为子目录",
                true, S::Plain, kNone, kNone, 0, false, false, {}, true},
    ControlSpec{mw::kFolderHint, K::Label, mw::kSettingsTabs, 2, 24, 168, 256, 64, kFolderHintText, true,
                S::Plain, kNone, kNone, 0, false, true},
    // Docked at the bottom edge, below 选择夹1.
    ControlSpec{mw::kStatusBar, K::StatusBar, "", 0, 0, 0, 0, 0, ""},
};

namespace sw = startup_window;

const std::array kStartupControls = {
    ControlSpec{sw::kRule, K::Label, "", 0, 0, 0, 1032, 1, "", true, S::Plain, kNone, 0xC0C0C0},
    ControlSpec{sw::kSpeakButton, K::Button, "", 0, 430, 7, 80, 80, "相关项目", true, S::SuperButton, kNone, kNone,
                16, true, false, "微软雅黑"},
    ControlSpec{sw::kHelpButton, K::Button, "", 0, 526, 9, 80, 80, "帮助教程", true, S::SuperButton, kNone, kNone,
                16, true, false, "微软雅黑"},
    ControlSpec{sw::kCloseButton, K::Button, "", 0, 620, 10, 80, 80, "关闭软件", true, S::SuperButton, kNone, kNone,
                16, true, false, "微软雅黑"},
    ControlSpec{sw::kTimer, K::Timer, "", 0, 0, 0, 0, 0, "", false},
    ControlSpec{sw::kStatusBar, K::StatusBar, "", 0, 0, 0, 0, 0, ""},
    ControlSpec{sw::kTabs, K::TabControl, "", 0, 32, 96, 856, 527, "软件公告|帮助和售后"},
    ControlSpec{sw::kBoardTitle, K::Label, sw::kTabs, 0, 472, 40, 352, 32, "软件公告", true, S::TransparentLabel,
                0x606060, kNone, 21, true},
    ControlSpec{sw::kAnnouncement, K::Label, sw::kTabs, 0, 466, 90, 305, 354, "软件最新信息", true,
                S::TransparentLabel, 0x606060, kNone, 14, false, true},
    ControlSpec{sw::kUpdatePanel, K::Label, sw::kTabs, 0, 58, 224, 304, 120,
                "建议不要把软件放在C盘或者桌面，可以避免80%的软件异常", true, S::TransparentLabel, 0xFF0000, kNone, 19,
                false, true},
    ControlSpec{sw::kOpenNewVersion, K::Button, sw::kTabs, 0, 58, 360, 320, 58, "打开最新版", false, S::SuperButton,
                kNone, kNone, 20, true, false, "微软雅黑"},
    ControlSpec{sw::kSupportText, K::Label, sw::kTabs, 1, 48, 120, 488, 192,
                "请暂时联系客服处理问题，常见帮助内容正在不断的补充中。", true, S::TransparentLabel, 0x606060, kNone, 14,
                false, true},
};

constexpr std::array kPanelWidths = {99, 200};

const WindowSpec kMainWindow{"2.1 Pelvaro视频采集助手", 50, 50, 873, 508, kMainControls};
const WindowSpec kStartupWindow{"", 50, 50, 916, 700, kStartupControls, kPanelWidths};

constexpr std::array kColumns = {
    ColumnSpec{"序号", 50}, ColumnSpec{"类目", 50}, ColumnSpec{"标题", 50},  ColumnSpec{"url", 50},
    ColumnSpec{"时长", 50}, ColumnSpec{"大小M", 50}, ColumnSpec{"日期", 80},  ColumnSpec{"docid", 50},
    ColumnSpec{"宽度", 20}, ColumnSpec{"高度", 20},  ColumnSpec{"下载", 70},
};

constexpr std::array<std::string_view, 3> kMenuItems = {"加入索引序列", "清空列表", "取消操作"};

}  // namespace

const WindowSpec& MainWindowSpec() { return kMainWindow; }
const WindowSpec& StartupWindowSpec() { return kStartupWindow; }
std::span<const ColumnSpec> VideoListColumns() { return kColumns; }
std::span<const std::string_view> ContextMenuItems() { return kMenuItems; }
std::span<const int> StatusBarPanelWidths() { return kPanelWidths; }

std::string DefaultSeedLinkUtf8() {
  return " https://" + HostAddress(Host::PlatformWeb) +
         "/article/V_08V5GNlg?title_sn=0&s=13&appid=pelvaro&ver=5.3.9.3"
         "&impId=7aE3kQ2xN9&utk=f41c8e0b2d7a";
}

const ControlSpec* FindControl(const WindowSpec& window, std::string_view name) {
  for (const auto& control : window.controls) {
    if (control.name == name) return &control;
  }
  return nullptr;
}

}  // namespace pelvaro

#pragma once
// The two windows as fixed layouts of named controls, declared once: every name, kind,
// place, design-time text and look. The in-memory Form and the Qt windows are both built from
// these tables, and every use of a control name goes through the constants below.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/form.h"

namespace pelvaro {

// Names of the main window's controls (UTF-8).
namespace main_window {
inline constexpr std::string_view kMainTabs = "选择夹1";
inline constexpr std::string_view kCategoryLabel = "标签9";
inline constexpr std::string_view kCategoryBox = "组合框1";
inline constexpr std::string_view kCrawlButton = "按钮1";
inline constexpr std::string_view kSaveButton = "按钮2";
inline constexpr std::string_view kVideoList = "超级列表框1";
inline constexpr std::string_view kSettingsTabs = "选择夹2";
inline constexpr std::string_view kContributeStatus = "标签7";
inline constexpr std::string_view kContributeButton = "按钮_开始";
inline constexpr std::string_view kSeedLink = "首网址";
inline constexpr std::string_view kExplanation = "标签10";
inline constexpr std::string_view kInstructions = "标签11";
inline constexpr std::string_view kHoursLabel = "标签3";
inline constexpr std::string_view kHours = "编辑框_小时";
inline constexpr std::string_view kDurationLabel = "标签4";
inline constexpr std::string_view kMinDuration = "编辑框_时长1";
inline constexpr std::string_view kMaxDuration = "编辑框_时长2";
inline constexpr std::string_view kSizeLabel = "标签6";
inline constexpr std::string_view kMinSize = "编辑框_大小1";
inline constexpr std::string_view kMaxSize = "编辑框_大小2";
inline constexpr std::string_view kWidthLabel = "标签5";
inline constexpr std::string_view kMinWidth = "编辑框_宽度1";
inline constexpr std::string_view kMaxWidth = "编辑框_宽度2";
inline constexpr std::string_view kLog = "编辑框_日志";
inline constexpr std::string_view kPauseLabel = "标签2";
inline constexpr std::string_view kPauseMs = "编辑框1延时";
inline constexpr std::string_view kMaxFilesLabel = "标签12";
inline constexpr std::string_view kMaxFiles = "编辑框_视频个数";
inline constexpr std::string_view kFreeSpaceLabel = "标签13";
inline constexpr std::string_view kMinFreeMb = "编辑框_剩余空间";
inline constexpr std::string_view kFolderLabel = "标签1";
inline constexpr std::string_view kOutputFolder = "目录";
inline constexpr std::string_view kNoSubfolders = "选择框_不要子目录";
inline constexpr std::string_view kFolderHint = "标签8";
inline constexpr std::string_view kContextMenu = "右键菜单";
// The status bar along the bottom edge. Its one panel (kMessagePanel) carries what another part
// of the program has to tell the user (setPanelText from any thread); the crawl's totals sit
// beside it, apart, so that neither overwrites the other.
inline constexpr std::string_view kStatusBar = "状态条1";
inline constexpr int kMessagePanel = 0;
// The page of kMainTabs that shows what was collected.
inline constexpr int kCollectedPage = 2;

// Columns of kVideoList.
enum Column : int {
  kColNumber = 0, kColCategory, kColTitle, kColUrl, kColDuration, kColSizeMb, kColDate,
  kColDocid, kColWidth, kColHeight, kColDownload, kColumnCount
};
}  // namespace main_window

// Names of the start-up window's controls (UTF-8).
namespace startup_window {
inline constexpr std::string_view kRule = "标签1";
inline constexpr std::string_view kSpeakButton = "语音介绍";
inline constexpr std::string_view kHelpButton = "帮助教程";
inline constexpr std::string_view kCloseButton = "关闭软件";
inline constexpr std::string_view kTimer = "时钟1";
inline constexpr std::string_view kStatusBar = "状态条1";
inline constexpr std::string_view kTabs = "选择夹1";
inline constexpr std::string_view kBoardTitle = "透明标签3";
inline constexpr std::string_view kAnnouncement = "透明标签_公告";
inline constexpr std::string_view kUpdatePanel = "透明标签_更新";
inline constexpr std::string_view kOpenNewVersion = "超级按钮_打开";
inline constexpr std::string_view kSupportText = "透明标签_公告3";
}  // namespace startup_window

enum class WidgetStyle : std::uint8_t {
  Plain,
  TransparentLabel,  // draws its text straight on what lies behind it
  SuperButton,       // push button with an image above its caption
  MultiLine,         // edit box with several lines, no scroll bars
  LogBox,            // multi-line, vertical scroll bar, read-only
  PressableLabel,    // a label the user presses: a button that looks like its label and takes focus
};

// One control of a window. Coordinates are relative to the parent (the window's client area,
// or the top-left corner of the parent tab control); `page` is the parent's page index.
struct ControlSpec {
  std::string_view name;
  ControlKind kind;
  std::string_view parent;  // empty: the window itself
  int page;
  int left, top, width, height;
  std::string_view text;  // UTF-8 design-time text (caption, default content, or page titles
                          // separated by "|" for a tab control)
  bool visible = true;
  WidgetStyle style = WidgetStyle::Plain;
  std::uint32_t textColor = kDefaultColor;  // 0xRRGGBB
  std::uint32_t backColor = kDefaultColor;
  int fontPx = 0;  // 0: the default font
  bool bold = false;
  bool wordWrap = false;
  std::string_view fontFace = {};
  bool checkedAtStart = false;  // check boxes

  static constexpr std::uint32_t kDefaultColor = 0xFFFFFFFFu;
};

struct ColumnSpec {
  std::string_view title;
  int width;
};

struct WindowSpec {
  std::string_view designCaption;
  int left, top, width, height;
  std::span<const ControlSpec> controls;
  // Widths of the status bar's panels but the last, which takes the rest of the bar.
  std::span<const int> panelWidths = {};
};

const WindowSpec& MainWindowSpec();
const WindowSpec& StartupWindowSpec();
std::span<const ColumnSpec> VideoListColumns();
std::span<const std::string_view> ContextMenuItems();  // "加入索引序列", "清空列表", "取消操作"
std::span<const int> StatusBarPanelWidths();           // start-up window: 99, 200 (the third takes the rest)

// The design-time content of the seed-link box: one leading space, then the share link of a
// sample article on the platform host.
std::string DefaultSeedLinkUtf8();

// The layout entry of a control, or nullptr.
const ControlSpec* FindControl(const WindowSpec& window, std::string_view name);

}  // namespace pelvaro

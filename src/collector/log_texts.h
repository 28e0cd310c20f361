#pragma once
// The collector's own texts, byte for byte as the user sees them (UTF-8 here; turned into GBK
// with Gbk() where they are written).

#include <string_view>

namespace pelvaro::collector_text {

// Log lines of the crawl, in the order in which they can appear.
inline constexpr std::string_view kReadCount = "读取到数据：";
inline constexpr std::string_view kInHistory = "已存在，";
inline constexpr std::string_view kRejectCategory = "不符要求";
inline constexpr std::string_view kRejectDate = "日期不符";
inline constexpr std::string_view kRejectDuration = "时长不符";
inline constexpr std::string_view kRejectSize = "大小不符";
inline constexpr std::string_view kTooManyFiles = "成品文件夹视频数量超过上限，暂停下载，15秒后继续检测";
inline constexpr std::string_view kLowDiskSpace = "磁盘空间不足，暂停下载，暂停15秒后继续检测";
inline constexpr std::string_view kFileExists = "视频已存在放弃，";
inline constexpr std::string_view kTaskDone = "任务完成，开始下一个。";  // preceded by CR LF
// The wait for a download gave up while it still runs (preceded by CR LF).
inline constexpr std::string_view kTaskInBackground = "下载仍在后台进行，开始下一个。";
// The target file is one this program finished whose marker was missing: the marker is written.
inline constexpr std::string_view kMarkerRepaired = "视频已完整下载，补写下载记录，";
inline constexpr std::string_view kPassDone = "【操作完成】";
inline constexpr std::string_view kNextPassSoon = "5秒后执行下一个数据";
// A pass that got no answer, before "读取到数据：": followed by the host, "：" and the reason.
inline constexpr std::string_view kPlatformUnreachable = "无法连接平台 ";
inline constexpr std::string_view kReasonFollows = "：";
// A download that failed: the log line and the text of the row's status cell.
inline constexpr std::string_view kDownloadFailed = "下载失败";
inline constexpr std::string_view kDownloadFailedBecause = "下载失败：";  // followed by the reason

// A video whose download failed too often: the log line and the row's status cell.
inline constexpr std::string_view kFailedTooOften = "多次下载失败，跳过";
inline constexpr std::string_view kFailedTooOftenCell = "多次失败";
inline constexpr std::string_view kClaimedElsewhere = "已被其他采集器领取，跳过";
inline constexpr std::string_view kClaimedElsewhereCell = "已被其他采集器领取";

// The catalogue's notices, each followed by a name or a reason.
inline constexpr std::string_view kCatalogueSetAside = "视频目录已损坏，另存后重新建立：";
inline constexpr std::string_view kCatalogueUnusable = "视频目录无法打开：";
inline constexpr std::string_view kCatalogueWriteFailed = "视频目录无法写入，稍后补写：";
inline constexpr std::string_view kCatalogueRecreated = "视频目录已被删除，重新建立：";
inline constexpr std::string_view kSharedCatalogueAway = "共享视频目录连接不上，暂按本机记录继续：";
inline constexpr std::string_view kSharedCatalogueBack = "共享视频目录已重新连接，补写 ";
inline constexpr std::string_view kSharedCatalogueBackRows = " 条记录";

// A marker that cannot be written stops the crawl: the log line and the box, with the reason
// and the history folder between the two parts.
inline constexpr std::string_view kHaltedBecause = "采集已停止：";
inline constexpr std::string_view kHaltedKeepsFile = "。已下载完整的视频留在磁盘上，下次采集时补写记录。";
// The history folder cannot be written when the crawl is to start (followed by the folder and
// the reason).
inline constexpr std::string_view kHistoryFolderUnwritable = "下载记录文件夹无法写入，不能开始采集：";

// Downloads that fail one after the other for one cause of the machine or the network:
// before + count + middle + host or folder + reason + after.
inline constexpr std::string_view kSameCauseBefore = "连续";
inline constexpr std::string_view kSameCauseMiddle = "个视频下载失败，原因相同：";
inline constexpr std::string_view kSameCauseAfter = "。这是本机或网络的问题，不计入这些视频的失败次数。";

// Status cell of a row whose docid the history holds.
inline constexpr std::string_view kInHistoryCell = "已存在";

// The first item of the category box: no category rule.
inline constexpr std::string_view kAllCategories = "所有类目";

// Captions of the start button.
inline constexpr std::string_view kStartCaption = "开始";
inline constexpr std::string_view kStopCaption = "停止";

// The sub-folder of portrait videos.
inline constexpr std::string_view kPortraitFolder = "竖屏";

// An output folder that cannot take videos: followed by the folder and the reason.
inline constexpr std::string_view kOutputFolderUnwritable = "视频下载目录无法写入：";

// The output-folder picker.
inline constexpr std::string_view kPickFolderTitle = "选择视频保存目录";

}  // namespace pelvaro::collector_text

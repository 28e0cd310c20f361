#include "collector/output_layout.h"

#include <cerrno>
#include <string_view>

#include "collector/log_texts.h"
#include "collector/video_record.h"
#include "platform/data_folder.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "platform/hosts.h"
#include "platform/partial_files.h"
#include "platform/safe_name.h"
#include "platform/window_layout.h"

namespace pelvaro {

Text DefaultOutputFolder() { return Utf8ToGbk(DefaultVideoFolder()); }

bool IsPortrait(const VideoRecord& record) {
  return ReadLenientInt(record.width) < ReadLenientInt(record.height);
}

std::vector<Text> TargetSubfolders(bool noSubfolders, const VideoRecord& record) {
  std::vector<Text> folders;
  if (!noSubfolders) folders.push_back(SafeFileName(record.category, 0));
  if (IsPortrait(record)) folders.push_back(Gbk(collector_text::kPortraitFolder));
  return folders;
}

Text TargetFolder(const Text& outputFolder, bool noSubfolders, const VideoRecord& record) {
  Text folder = outputFolder;
  for (const Text& sub : TargetSubfolders(noSubfolders, record)) folder = JoinPath(folder, sub);
  return folder;
}

Text VideoFileName(const Text& title) {
  constexpr std::string_view kExtension = ".mp4";
  // Room for the extension and for what the partial file's name adds to it.
  return SafeFileName(title, kExtension.size() + kPartialNameOverhead) + std::string(kExtension);
}

void ForEachVideoFolder(const Text& outputFolder, bool withSubfolders,
                        const std::function<void(const std::vector<Text>& below)>& visit) {
  const Text portrait = Gbk(collector_text::kPortraitFolder);
  visit({});
  if (!withSubfolders) {
    visit({portrait});
    return;
  }
  // ListFolders leaves links out: the walk never leaves the tree. The "竖屏" folder of the
  // output folder is one of them.
  for (const Text& sub : ListFolders(outputFolder)) {
    visit({sub});
    if (sub != portrait) visit({sub, portrait});
  }
}

int RemoveLeftoverPartials(const Text& outputFolder, bool withSubfolders) {
  if (!FolderExists(outputFolder)) return 0;
  const FolderHandle output = FolderHandle::Open(outputFolder);
  int removed = 0;
  ForEachVideoFolder(outputFolder, withSubfolders, [&](const std::vector<Text>& below) {
    // Child() refuses links: a folder swapped for one since the listing is passed over.
    if (below.empty()) {
      removed += RemoveLeftoverPartials(output);
      return;
    }
    FolderHandle folder = output.Child(below.front(), false);
    for (std::size_t i = 1; i < below.size(); ++i) folder = folder.Child(below[i], false);
    removed += RemoveLeftoverPartials(folder);
  });
  return removed;
}

Text OutputFolderProblem(const Text& folder, int error) {
  std::string_view reason;
  switch (error) {
    case EACCES:
    case EPERM:
      reason = "没有写入权限";
      break;
    case EROFS:
      reason = "文件系统只读";
      break;
    case ENOSPC:
    case EDQUOT:
      reason = "磁盘已满";
      break;
    case ENOTDIR:
    case EEXIST:
      reason = "不是文件夹";
      break;
    case ENOENT:
      reason = "路径不存在";
      break;
    case ENAMETOOLONG:
      reason = "路径太长";
      break;
    default:
      return Gbk(collector_text::kOutputFolderUnwritable) + folder + Gbk("（错误 ") + std::to_string(error) +
             Gbk("）");
  }
  return Gbk(collector_text::kOutputFolderUnwritable) + folder + Gbk("（") + Gbk(reason) + Gbk("）");
}

void PickOutputFolder(Form& form) {
  const Text chosen = form.pickFolder(Gbk(collector_text::kPickFolderTitle), Utf8ToGbk(RunDir()));
  form.setText(main_window::kOutputFolder, chosen.empty() ? DefaultOutputFolder() : chosen);
}

}  // namespace pelvaro

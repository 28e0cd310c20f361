#include "collector/output_layout.h"

#include <cerrno>
#include <string_view>

#include "collector/log_texts.h"
#include "collector/video_record.h"
#include "platform/data_folder.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "platform/partial_files.h"
#include "platform/safe_name.h"
#include "platform/window_layout.h"

namespace pelvaro {

Path DefaultOutputFolder() { return DefaultVideoFolder(); }

bool IsPortrait(const VideoRecord& record) {
  return ReadLenientInt(record.width) < ReadLenientInt(record.height);
}

std::vector<Path> TargetSubfolders(bool noSubfolders, const VideoRecord& record) {
  std::vector<Path> folders;
  if (!noSubfolders) folders.push_back(SafeNameOfGbk(record.category, 0));
  if (IsPortrait(record)) folders.emplace_back(collector_text::kPortraitFolder);
  return folders;
}

Path TargetFolder(const Path& outputFolder, bool noSubfolders, const VideoRecord& record) {
  Path folder = outputFolder;
  for (const Path& sub : TargetSubfolders(noSubfolders, record)) folder = JoinPath(folder, sub);
  return folder;
}

Path VideoFileName(std::string_view utf8Title) {
  constexpr std::string_view kExtension = ".mp4";
  // Room for the extension and for what the partial file's name adds to it.
  return SafeName(utf8Title, kExtension.size() + kPartialNameOverhead) + kExtension;
}

void ForEachVideoFolder(const Path& outputFolder, bool withSubfolders,
                        const std::function<void(const std::vector<Path>& below)>& visit) {
  const Path portrait(collector_text::kPortraitFolder);
  visit({});
  if (!withSubfolders) {
    visit({portrait});
    return;
  }
  // ListFolders leaves links out: the walk never leaves the tree. The "竖屏" folder of the
  // output folder is one of them.
  for (const Path& sub : ListFolders(outputFolder)) {
    visit({sub});
    if (sub != portrait) visit({sub, portrait});
  }
}

int RemoveLeftoverPartials(const Path& outputFolder, bool withSubfolders) {
  if (!FolderExists(outputFolder)) return 0;
  const FolderHandle output = FolderHandle::Open(outputFolder);
  int removed = 0;
  ForEachVideoFolder(outputFolder, withSubfolders, [&](const std::vector<Path>& below) {
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

Text OutputFolderProblem(const Path& path, int error) {
  const Text folder = PathText(path);
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
  const Path chosen = form.pickFolder(Gbk(collector_text::kPickFolderTitle), RunDir());
  form.setTextUtf8(main_window::kOutputFolder, (chosen.empty() ? DefaultOutputFolder() : chosen).bytes());
}

}  // namespace pelvaro

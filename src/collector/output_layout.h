#pragma once
// Where the collector writes videos below the output folder: a folder per category (unless the
// user turned them off) and within it, or the output folder, a "竖屏" folder for portrait
// videos. Every name that comes from the network (title, category) is made safe before it
// becomes part of a path, so nothing escapes the output folder. The download stage, the sweep
// of leftover partial files and the file-count guard all go by this one layout.

#include <functional>
#include <vector>

#include "platform/form.h"
#include "platform/path.h"
#include "platform/text.h"

namespace pelvaro {

struct VideoRecord;

// The output folder until the user picks another: the data folder + "/video", or for an
// installed copy the user's videos folder + "/Pelvaro" (see platform/data_folder.h).
Path DefaultOutputFolder();

// Whether the video is portrait: width read as an integer strictly below height.
bool IsPortrait(const VideoRecord& record);

// The folders below the output folder a video goes into: the category (unless noSubfolders),
// then "竖屏" for a portrait video; and the whole folder path.
std::vector<Path> TargetSubfolders(bool noSubfolders, const VideoRecord& record);
Path TargetFolder(const Path& outputFolder, bool noSubfolders, const VideoRecord& record);

// The UTF-8 title + ".mp4", the title made safe ("_" when empty) and short enough, as stored,
// for the partial file's name too. Titles that differ in a character the name keeps get
// different names.
Path VideoFileName(std::string_view utf8Title);

// Calls visit with the folders below the output folder (as names, outermost first; none for the
// output folder itself) that hold or may hold the program's videos: the output folder and its
// "竖屏" folder, and with subfolders every folder directly inside (a link left out) and the
// "竖屏" folder within each. Folders the walk lists need not exist.
void ForEachVideoFolder(const Path& outputFolder, bool withSubfolders,
                        const std::function<void(const std::vector<Path>& below)>& visit);

// Removes the leftover partial files of killed runs (ours by their name, and nobody holds them
// locked) in the video folders. Never through a link: a folder that is a link is passed over.
int RemoveLeftoverPartials(const Path& outputFolder, bool withSubfolders);

// "视频下载目录无法写入：" + folder + "（" + the reason + "）" for an output folder that
// FolderWriteError refused with `error`.
Text OutputFolderProblem(const Path& folder, int error);

// The output-folder picker: the chosen folder becomes the content of the output box; when the
// user cancels, the default output folder does.
void PickOutputFolder(Form& form);

}  // namespace pelvaro

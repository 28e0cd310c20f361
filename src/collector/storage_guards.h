#pragma once
// The two pauses that keep a crawl from filling the user's disk, run before every entry: one
// while the output folder holds more finished videos than allowed, one while the file system
// of the output folder has less free space than the minimum.

#include <cstdint>
#include <optional>
#include <string_view>

#include "collector/crawl_context.h"
#include "platform/text.h"

namespace pelvaro {

// The number of files (not folders) directly in folder whose names match a wildcard pattern
// ("*" any run, "?" one character; ASCII letters compared without regard to case).
std::int64_t CountMatchingFiles(const Path& folder, std::string_view pattern);

// Finished videos in every folder of the output layout (with subfolders, whatever the user's
// choice now: videos taken before it changed count too). Partial downloads (".NAME.pelvaro-part") do
// not count.
std::int64_t CountFinishedVideos(const Path& outputFolder);

// Free space in MB of the file system that holds the output folder (or its nearest existing
// parent); -1 KB expressed in MB when it cannot be read, so that the guard pauses.
double FreeSpaceMb(const Path& outputFolder);

// Runs the file-count guard, then the free-space guard; returns true when both let the crawl
// go on, false when the worker was asked to stop while a guard paused.
bool RunStorageGuards(CrawlContext& context);

}  // namespace pelvaro

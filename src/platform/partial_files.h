#pragma once
// Partial download files ("name.mp4.part") and the advisory lock that tells a live one from a
// leftover of a killed run: the writer holds an exclusive flock for as long as it owns the
// file, and the lock goes with its process.

#include <string_view>

#include "platform/text.h"

namespace pelvaro {

inline constexpr std::string_view kPartialVideoSuffix = ".mp4.part";

// Whether some open file (of any process) holds the lock of the file at path.
bool PartialFileLocked(const Text& path);

// Removes the file at path when nobody holds its lock; true when it was removed.
bool RemoveUnlockedPartialFile(const Text& path);

// Removes every "*.mp4.part" directly in folder that nobody holds locked; returns how many.
int RemoveLeftoverPartials(const Text& folder);

// Flushes a folder's entries (a rename or a new file in it) to the disk.
bool SyncFolder(const Text& folder);

}  // namespace pelvaro

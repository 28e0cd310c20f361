#pragma once
// Partial download files and the advisory lock that tells a live one from a leftover of a
// killed run: the writer holds an exclusive flock for as long as it owns the file, and the lock
// goes with its process. A partial file is named so that no user or other program would ever
// make one like it (hidden, with this program's own suffix: ".NAME.pelvaro-part"), so a file of
// that name is ours wherever the sweep finds it.

#include <string_view>

#include "platform/path.h"

namespace pelvaro {

class FolderHandle;

inline constexpr std::string_view kPartialSuffix = ".pelvaro-part";
// What the partial name adds to the final name: the leading "." and the suffix.
inline constexpr std::size_t kPartialNameOverhead = 1 + kPartialSuffix.size();

// The partial file's name for a final file name, and whether a name is one of ours.
Path PartialNameFor(const Path& fileName);
bool IsPartialName(const Path& name);
// The partial file beside the file at path.
Path PartialPathFor(const Path& path);

// Whether some open file (of any process) holds the lock of the file at path.
bool PartialFileLocked(const Path& path);

// Removes the partial file `name` in the folder when it is a regular file (not a link) that
// nobody holds locked; true when it was removed.
bool RemoveUnlockedPartialFile(const FolderHandle& folder, const Path& name);

// Removes every partial file of ours directly in the open folder that nobody holds locked;
// returns how many.
int RemoveLeftoverPartials(const FolderHandle& folder);

// Flushes a folder's entries (a rename or a new file in it) to the disk.
bool SyncFolder(const Path& folder);

}  // namespace pelvaro

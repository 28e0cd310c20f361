#pragma once
// A folder opened once and then used by name: every file made, renamed, flushed or removed in
// it is addressed relative to the open folder, so a symbolic link planted on the way (a folder
// swapped for a link, a link named like the file) can never send a write somewhere else.

#include <dirent.h>

#include <string>
#include <vector>

#include "platform/path.h"

namespace pelvaro {

// A listing of the open folder on a descriptor of its own (its own reading position); null on
// failure. Close it with closedir.
DIR* OpenListing(int folder);

class FolderHandle {
 public:
  FolderHandle() = default;
  ~FolderHandle();
  FolderHandle(FolderHandle&& other) noexcept;
  FolderHandle& operator=(FolderHandle&& other) noexcept;
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;

  // Opens `base` (a link there is the user's choice and is followed), then each
  // folder of `below` inside the previous one, creating those that are missing. None of the
  // folders below may be a link: such a folder fails the open with ELOOP. On failure the
  // handle is not valid and *error (when given) holds the errno value.
  static FolderHandle Open(const Path& base, const std::vector<Path>& below = {}, int* error = nullptr);

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // The folder `name` inside this one, created first when `create`; never a link (ELOOP).
  FolderHandle Child(const Path& name, bool create, int* error = nullptr) const;
  // The names of the folders directly inside (links to folders left out).
  std::vector<Path> Folders() const;

  // The entry's type without following a link: whether anything of that name is there.
  bool Holds(const Path& name) const;
  // Renames within the folder, never replacing an existing entry.
  bool RenameNoReplace(const Path& from, const Path& to) const;
  // Removes a file (a link itself, never what it points to).
  bool Remove(const Path& name) const;
  // Flushes the folder's entries to the disk.
  bool Sync() const;
  // Creates an empty file when nothing of that name is there (never opening through a link),
  // empties a regular file of that name, and flushes the file and the folder to the disk.
  // 0, or the errno of the step that failed (ELOOP for a link, EISDIR for another kind).
  int CreateEmptyFileDurably(const Path& name) const;

 private:
  explicit FolderHandle(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace pelvaro

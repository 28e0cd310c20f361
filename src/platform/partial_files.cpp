#include "platform/partial_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/folder_handle.h"

namespace pelvaro {
namespace {

// An open descriptor that closes itself.
struct Descriptor {
  explicit Descriptor(int fd) : fd(fd) {}
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int fd;
};

bool IsPartialNative(std::string_view name) {
  return name.size() > kPartialNameOverhead && name.front() == '.' && name.ends_with(kPartialSuffix);
}

bool RemoveUnlockedNative(int folder, const std::string& native) {
  if (!IsPartialNative(native)) return false;
  Descriptor file(::openat(folder, native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (file.fd < 0) return false;
  struct stat open {};
  if (::fstat(file.fd, &open) != 0 || !S_ISREG(open.st_mode)) return false;
  if (::flock(file.fd, LOCK_EX | LOCK_NB) != 0) return false;  // a live download owns it
  // Still the file we locked: not renamed away and replaced by a new partial file meanwhile.
  struct stat named {};
  if (::fstatat(folder, native.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_dev != open.st_dev ||
      named.st_ino != open.st_ino) {
    return false;
  }
  return ::unlinkat(folder, native.c_str(), 0) == 0;
}

}  // namespace

Path PartialNameFor(const Path& fileName) {
  return Path("." + fileName.bytes() + std::string(kPartialSuffix));
}

bool IsPartialName(const Path& name) { return IsPartialNative(name.bytes()); }

Path PartialPathFor(const Path& path) {
  return JoinPath(path.folder(), PartialNameFor(path.name()));
}

bool PartialFileLocked(const Path& path) {
  Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (file.fd < 0) return false;
  return ::flock(file.fd, LOCK_SH | LOCK_NB) != 0;
}

bool RemoveUnlockedPartialFile(const FolderHandle& folder, const Path& name) {
  return folder.valid() && RemoveUnlockedNative(folder.fd(), name.bytes());
}

int RemoveLeftoverPartials(const FolderHandle& folder) {
  if (!folder.valid()) return 0;
  DIR* dir = OpenListing(folder.fd());
  if (dir == nullptr) return 0;
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(dir)) {
    if (IsPartialNative(entry->d_name) && (entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN)) {
      names.emplace_back(entry->d_name);
    }
  }
  ::closedir(dir);
  int removed = 0;
  for (const std::string& name : names) removed += RemoveUnlockedNative(folder.fd(), name) ? 1 : 0;
  return removed;
}

bool SyncFolder(const Path& folder) {
  Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return dir.fd >= 0 && ::fsync(dir.fd) == 0;
}

}  // namespace pelvaro

#include "platform/folder_handle.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/files.h"

namespace pelvaro {

DIR* OpenListing(int folder) {
  const int own = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (own < 0) return nullptr;
  DIR* dir = ::fdopendir(own);
  if (dir == nullptr) ::close(own);
  return dir;
}

FolderHandle::~FolderHandle() {
  if (fd_ >= 0) ::close(fd_);
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FolderHandle FolderHandle::Open(const Path& base, const std::vector<Path>& below, int* error) {
  const auto fail = [error](int code) {
    if (error != nullptr) *error = code;
    return FolderHandle();
  };
  if (!CreateFolders(base)) return fail(errno != 0 ? errno : ENOENT);
  FolderHandle folder(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return fail(errno);
  for (const Path& name : below) {
    folder = folder.Child(name, true, error);
    if (!folder.valid()) return folder;
  }
  return folder;
}

FolderHandle FolderHandle::Child(const Path& name, bool create, int* error) const {
  const auto fail = [error](int code) {
    if (error != nullptr) *error = code;
    return FolderHandle();
  };
  if (!valid()) return fail(EBADF);
  const std::string& native = name.bytes();
  if (create && ::mkdirat(fd_, native.c_str(), 0755) != 0 && errno != EEXIST) return fail(errno);
  const int child = ::openat(fd_, native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (child < 0) {
    const int why = errno;
    // Some systems report a link opened with O_NOFOLLOW and O_DIRECTORY as "not a folder".
    struct stat st {};
    const bool link = ::fstatat(fd_, native.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
    return fail(link ? ELOOP : why);
  }
  return FolderHandle(child);
}

std::vector<Path> FolderHandle::Folders() const {
  std::vector<Path> names;
  if (!valid()) return names;
  DIR* dir = OpenListing(fd_);
  if (dir == nullptr) return names;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool folder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      folder = ::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }
    if (folder) names.emplace_back(name);
  }
  ::closedir(dir);
  return names;
}

bool FolderHandle::Holds(const Path& name) const {
  struct stat st {};
  return valid() && ::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool FolderHandle::RenameNoReplace(const Path& from, const Path& to) const {
  if (!valid()) return false;
  const std::string& a = from.bytes();
  const std::string& b = to.bytes();
  if (::renameat2(fd_, a.c_str(), fd_, b.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link fails when the target exists.
  if (::linkat(fd_, a.c_str(), fd_, b.c_str(), 0) != 0) return false;
  ::unlinkat(fd_, a.c_str(), 0);
  return true;
}

bool FolderHandle::Remove(const Path& name) const { return valid() && ::unlinkat(fd_, name.c_str(), 0) == 0; }

bool FolderHandle::Sync() const { return valid() && ::fsync(fd_) == 0; }

int FolderHandle::CreateEmptyFileDurably(const Path& name) const {
  if (!valid()) return EBADF;
  const int fd = ::openat(fd_, name.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  struct stat st {};
  int error = 0;
  if (::fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    error = EISDIR;
  } else if ((st.st_size != 0 && ::ftruncate(fd, 0) != 0) || ::fsync(fd) != 0) {
    error = errno;
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) return error;
  return ::fsync(fd_) == 0 ? 0 : errno;
}

}  // namespace pelvaro

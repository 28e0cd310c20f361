#include "platform/partial_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"

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

}  // namespace

bool PartialFileLocked(const Text& path) {
  Descriptor file(::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (file.fd < 0) return false;
  return ::flock(file.fd, LOCK_SH | LOCK_NB) != 0;
}

bool RemoveUnlockedPartialFile(const Text& path) {
  const std::string native = NativePath(path);
  Descriptor file(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (file.fd < 0) return false;
  struct stat open {};
  if (::fstat(file.fd, &open) != 0 || !S_ISREG(open.st_mode)) return false;
  if (::flock(file.fd, LOCK_EX | LOCK_NB) != 0) return false;  // a live download owns it
  // Still the file we locked: not renamed away and replaced by a new partial file meanwhile.
  struct stat named {};
  if (::lstat(native.c_str(), &named) != 0 || named.st_dev != open.st_dev || named.st_ino != open.st_ino) {
    return false;
  }
  return ::unlink(native.c_str()) == 0;
}

int RemoveLeftoverPartials(const Text& folder) {
  int removed = 0;
  for (const Text& name : ListFiles(folder, kPartialVideoSuffix)) {
    // The listing ignores case; only names of exactly this form are ours.
    if (name.size() > kPartialVideoSuffix.size() && name.ends_with(kPartialVideoSuffix) &&
        RemoveUnlockedPartialFile(JoinPath(folder, name))) ++removed;
  }
  return removed;
}

bool SyncFolder(const Text& folder) {
  Descriptor dir(::open(NativePath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return dir.fd >= 0 && ::fsync(dir.fd) == 0;
}

}  // namespace pelvaro

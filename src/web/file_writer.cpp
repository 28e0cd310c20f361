#include "web/file_writer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace pelvaro {
namespace {

// True when `path` still names the open file: a leftover sweep of another copy may have
// removed the new file in the moment between its creation and its lock.
bool StillNamed(int fd, int folder, const std::string& path) {
  struct stat open {};
  struct stat named {};
  return ::fstat(fd, &open) == 0 && ::fstatat(folder, path.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

int Reserve(int fd, std::int64_t size) {
  if (size == 0) return 0;
  int result = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
  if (result == 0 || (result != EOPNOTSUPP && result != EINVAL)) return result;
  return ::ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

}  // namespace

FileWriter::~FileWriter() { Close(); }

FileWriter::FileWriter(FileWriter&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(other.error_) {}

FileWriter& FileWriter::operator=(FileWriter&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    error_ = other.error_;
  }
  return *this;
}

bool FileWriter::Create(const std::string& path, std::int64_t size) { return CreateAt(AT_FDCWD, path, size); }

bool FileWriter::CreateAt(int folder, const std::string& path, std::int64_t size) {
  Close();
  error_ = 0;
  if (size < 0) {
    error_ = EINVAL;
    return false;
  }
  for (int attempt = 0; attempt < 3; ++attempt) {
    int fd = ::openat(folder, path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
      error_ = errno;
      return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      error_ = errno;
      ::close(fd);
      return false;  // someone else locked the very file we created: leave it to them
    }
    if (!StillNamed(fd, folder, path)) {
      ::close(fd);
      continue;
    }
    if (int result = Reserve(fd, size); result != 0) {
      error_ = result;
      ::unlinkat(folder, path.c_str(), 0);
      ::close(fd);
      return false;
    }
    fd_ = fd;
    return true;
  }
  error_ = EAGAIN;
  return false;
}

bool FileWriter::WriteAt(std::int64_t offset, const char* data, std::size_t count) const {
  if (fd_ < 0 || offset < 0) {
    errno = EBADF;
    return false;
  }
  while (count > 0) {
    ssize_t n = ::pwrite(fd_, data, count, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    data += n;
    offset += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

bool FileWriter::Sync() {
  if (fd_ < 0) {
    error_ = EBADF;
    return false;
  }
  if (::fsync(fd_) == 0) return true;
  error_ = errno;
  return false;
}

void FileWriter::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace pelvaro

#include "platform/claim_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/files.h"

namespace pelvaro {
namespace {

// True when `path` still names the open file: its last owner may have removed it between our
// open and our lock, and a new file of that name is another claim.
bool StillNamed(int fd, const std::string& path) {
  struct stat open {};
  struct stat named {};
  return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

}  // namespace

std::optional<ClaimFile> ClaimFile::Take(const Path& path, Outcome* outcome, int* error) {
  auto say = [&](Outcome what, int code) {
    if (outcome != nullptr) *outcome = what;
    if (error != nullptr) *error = code;
  };
  const std::string& native = path.bytes();
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
      say(Outcome::Failed, errno);
      return std::nullopt;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int code = errno;
      ::close(fd);
      say(code == EWOULDBLOCK ? Outcome::HeldElsewhere : Outcome::Failed, code);
      return std::nullopt;
    }
    if (StillNamed(fd, native)) {
      say(Outcome::Taken, 0);
      return ClaimFile(path, fd);
    }
    ::close(fd);
  }
  say(Outcome::HeldElsewhere, EAGAIN);
  return std::nullopt;
}

bool ClaimFile::HeldElsewhere(const Path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
  ::close(fd);
  return held;
}

ClaimFile::ClaimFile(ClaimFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {}

ClaimFile& ClaimFile::operator=(ClaimFile&& other) noexcept {
  if (this != &other) {
    close();
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

ClaimFile::~ClaimFile() { close(); }

std::string ClaimFile::record() const {
  std::string content;
  if (fd_ < 0) return content;
  char buffer[4096];
  for (off_t offset = 0;;) {
    const ssize_t n = ::pread(fd_, buffer, sizeof buffer, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
    offset += n;
  }
  return content;
}

bool ClaimFile::writeRecord(std::string_view bytes) {
  if (fd_ < 0 || ::ftruncate(fd_, 0) != 0) return false;
  for (off_t offset = 0; !bytes.empty();) {
    const ssize_t n = ::pwrite(fd_, bytes.data(), bytes.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
    offset += n;
  }
  return ::fsync(fd_) == 0;
}

void ClaimFile::remove() {
  if (fd_ < 0) return;
  // Removed while still locked, so nobody takes the claim of a file on its way out.
  ::unlink(path_.c_str());
  ::close(std::exchange(fd_, -1));
}

void ClaimFile::close() {
  if (fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && st.st_size == 0) {
    remove();
    return;
  }
  ::close(std::exchange(fd_, -1));
}

}  // namespace pelvaro

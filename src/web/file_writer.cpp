#include "web/file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace pelvaro {

FileWriter::~FileWriter() { Close(); }

FileWriter::FileWriter(FileWriter&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileWriter& FileWriter::operator=(FileWriter&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool FileWriter::Create(const std::string& path, std::int64_t size) {
  Close();
  if (size < 0) return false;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

bool FileWriter::WriteAt(std::int64_t offset, const char* data, std::size_t count) const {
  if (fd_ < 0 || offset < 0) return false;
  while (count > 0) {
    ssize_t n = ::pwrite(fd_, data, count, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    data += n;
    offset += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

void FileWriter::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace pelvaro

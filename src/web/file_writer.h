#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelvaro {

// A destination file written by positioned writes, so several workers can fill their own
// byte ranges of one file at once without sharing a file position. While it is open the file
// carries an exclusive advisory lock (flock), which tells other copies of the program that it
// is not a leftover.
class FileWriter {
 public:
  FileWriter() = default;
  ~FileWriter();
  FileWriter(FileWriter&& other) noexcept;
  FileWriter& operator=(FileWriter&& other) noexcept;
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // Creates `path` (a file-system path), which must not exist yet: an existing file is never
  // truncated or replaced. Locks it and reserves exactly `size` bytes of disk space, falling
  // back to setting the length where the file system cannot reserve. False when the file
  // exists, cannot be created, locked or sized; a file this call created is then removed.
  // Error() says why (an errno value).
  bool Create(const std::string& path, std::int64_t size);
  // The same for the file `name` inside the open folder `folder` (a descriptor), never through
  // a link of that name.
  bool CreateAt(int folder, const std::string& name, std::int64_t size);

  // Writes all `count` bytes at `offset`. Safe to call from several threads at once for
  // different ranges. False on any failure, with errno set (the file may then hold part of the
  // bytes).
  bool WriteAt(std::int64_t offset, const char* data, std::size_t count) const;

  // Flushes the written bytes to the disk. False when that fails (Error() says why).
  bool Sync();

  // Closes the file (releasing its lock); later writes fail. Safe to call more than once.
  void Close();

  bool IsOpen() const { return fd_ >= 0; }
  int Error() const { return error_; }

 private:
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace pelvaro

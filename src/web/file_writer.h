#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelvaro {

// A destination file written by positioned writes, so several workers can fill their own
// byte ranges of one file at once without sharing a file position.
class FileWriter {
 public:
  FileWriter() = default;
  ~FileWriter();
  FileWriter(FileWriter&& other) noexcept;
  FileWriter& operator=(FileWriter&& other) noexcept;
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // Creates the file at `path` (a file-system path), replacing an existing one, and gives it
  // exactly `size` bytes; the unwritten parts read as zero and take no disk space until
  // written. False when the file cannot be created or sized; a created file stays in place.
  bool Create(const std::string& path, std::int64_t size);

  // Writes all `count` bytes at `offset`. Safe to call from several threads at once for
  // different ranges. False on any failure (the file may then hold part of the bytes).
  bool WriteAt(std::int64_t offset, const char* data, std::size_t count) const;

  // Closes the file; later writes fail. Safe to call more than once.
  void Close();

  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace pelvaro

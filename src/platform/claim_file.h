#pragma once
// A file whose exclusive advisory lock (flock) claims what its name stands for, among every
// process on the machine: whoever holds the lock owns the claim, and the lock goes with its
// process, so the claim of a killed run is free again. The file may carry a short record for
// whoever takes the claim next; an empty claim file is removed when its claim is given up.

#include <optional>
#include <string>
#include <string_view>

#include "platform/path.h"

namespace pelvaro {

class ClaimFile {
 public:
  enum class Outcome { Taken, HeldElsewhere, Failed };

  // Takes the claim of `path`, creating the file when missing (never through a link). On
  // HeldElsewhere another open file holds it; on Failed the file cannot be made (`error` then
  // holds errno).
  static std::optional<ClaimFile> Take(const Path& path, Outcome* outcome = nullptr, int* error = nullptr);
  // Whether another open file (of any process) holds the claim of `path` now.
  static bool HeldElsewhere(const Path& path);

  ClaimFile(ClaimFile&& other) noexcept;
  ClaimFile& operator=(ClaimFile&& other) noexcept;
  ClaimFile(const ClaimFile&) = delete;
  ClaimFile& operator=(const ClaimFile&) = delete;
  // Gives the claim up: an empty file is removed, one with a record stays for the next owner.
  ~ClaimFile();

  const Path& path() const { return path_; }
  // The record the file holds (empty when none).
  std::string record() const;
  // Replaces the record and flushes it to the disk; false when that fails.
  bool writeRecord(std::string_view bytes);
  // Gives the claim up and removes the file, record and all.
  void remove();

 private:
  ClaimFile(Path path, int fd) : path_(std::move(path)), fd_(fd) {}
  void close();

  Path path_;
  int fd_ = -1;
};

}  // namespace pelvaro

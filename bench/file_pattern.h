#pragma once
// The deterministic content that the benchmark's file server sends and its download driver
// checks. Its period is no multiple of a block, so a block written at the wrong offset is
// caught.

#include <cstdint>
#include <cstring>
#include <vector>

namespace pelvaro::bench {

class FilePattern {
 public:
  static constexpr std::int64_t kPeriod = 1048576 + 4099;
  static constexpr std::int64_t kMaxSpan = 1 << 20;  // longest run that At() serves contiguously

  FilePattern() : bytes_(static_cast<std::size_t>(kPeriod + kMaxSpan)) {
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
      std::uint64_t x = (i % kPeriod) * 0x9E3779B97F4A7C15ull;
      x ^= x >> 31;
      bytes_[i] = static_cast<char>(x >> 56);
    }
  }

  // The file's bytes from `offset`, valid for at least kMaxSpan bytes.
  const char* At(std::int64_t offset) const { return bytes_.data() + offset % kPeriod; }

  bool Matches(std::int64_t offset, const char* data, std::int64_t count) const {
    while (count > 0) {
      std::int64_t span = count < kMaxSpan ? count : kMaxSpan;
      if (std::memcmp(At(offset), data, static_cast<std::size_t>(span)) != 0) return false;
      offset += span;
      data += span;
      count -= span;
    }
    return true;
  }

 private:
  std::vector<char> bytes_;
};

}  // namespace pelvaro::bench

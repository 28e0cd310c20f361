#pragma once
// The bytes of every served file. A file is identified by a 64-bit key; byte o of the file is
// byte (o mod 8) of the little-endian word W(o / 8), where W(w) = P[w mod 8192] xor C(key, w / 8192),
// P is a fixed random table of 8192 words and C a per-segment constant. Every 64 KiB segment
// differs, so a block written at the wrong offset is detected, and a reader can check any range
// without the server.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelvaro::sim {

// The key of a file's second version (changed on the server) is its key xor this.
inline constexpr std::uint64_t kSecondVersion = 0x9E3779B97F4A7C15ULL;

class VideoContent {
 public:
  static std::uint64_t KeyFor(std::string_view docid, int variant);
  // The key of "/bench/<bytes>.mp4" files and of the update download.
  static std::uint64_t KeyForName(std::string_view name);

  // Writes bytes [offset, offset + length) of the file with this key to out.
  static void Fill(std::uint64_t key, std::uint64_t offset, char* out, std::size_t length);
  static std::string Bytes(std::uint64_t key, std::uint64_t offset, std::size_t length);
};

}  // namespace pelvaro::sim

#include "sim/video_content.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "sim/hash.h"

namespace pelvaro::sim {
namespace {

constexpr std::size_t kPatternWords = 8192;

const std::array<std::uint64_t, kPatternWords>& Pattern() {
  static const auto table = [] {
    std::array<std::uint64_t, kPatternWords> words{};
    Rng rng(0x50454C5641524F31ull);
    for (auto& word : words) word = rng.Next();
    return words;
  }();
  return table;
}

std::uint64_t SegmentConstant(std::uint64_t key, std::uint64_t segment) {
  return SplitMix(key ^ SplitMix(segment + 0x2545F4914F6CDD1Dull));
}

void StoreLittleEndian(std::uint64_t word, char* out) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((word >> (8 * i)) & 0xFF);
}

}  // namespace

std::uint64_t VideoContent::KeyFor(std::string_view docid, int variant) {
  return SplitMix(Fnv1a(docid) ^ SplitMix(static_cast<std::uint64_t>(variant) + 1));
}

std::uint64_t VideoContent::KeyForName(std::string_view name) {
  return SplitMix(Fnv1a(name) ^ 0x6E616D65ull);
}

void VideoContent::Fill(std::uint64_t key, std::uint64_t offset, char* out, std::size_t length) {
  const auto& pattern = Pattern();
  char word_bytes[8];
  // Leading bytes up to the next word boundary.
  while (length > 0 && offset % 8 != 0) {
    std::uint64_t w = offset / 8;
    StoreLittleEndian(pattern[w % kPatternWords] ^ SegmentConstant(key, w / kPatternWords), word_bytes);
    *out++ = word_bytes[offset % 8];
    ++offset;
    --length;
  }
  std::uint64_t w = offset / 8;
  while (length >= 8) {
    std::uint64_t segment = w / kPatternWords;
    std::uint64_t constant = SegmentConstant(key, segment);
    std::size_t first = w % kPatternWords;
    std::size_t count = std::min<std::size_t>(kPatternWords - first, length / 8);
    if constexpr (std::endian::native == std::endian::little) {
      for (std::size_t i = 0; i < count; ++i) {
        std::uint64_t value = pattern[first + i] ^ constant;
        std::memcpy(out + 8 * i, &value, 8);
      }
    } else {
      for (std::size_t i = 0; i < count; ++i) StoreLittleEndian(pattern[first + i] ^ constant, out + 8 * i);
    }
    out += 8 * count;
    length -= 8 * count;
    w += count;
  }
  if (length > 0) {
    StoreLittleEndian(pattern[w % kPatternWords] ^ SegmentConstant(key, w / kPatternWords), word_bytes);
    std::memcpy(out, word_bytes, length);
  }
}

std::string VideoContent::Bytes(std::uint64_t key, std::uint64_t offset, std::size_t length) {
  std::string bytes(length, '\0');
  Fill(key, offset, bytes.data(), length);
  return bytes;
}

}  // namespace pelvaro::sim

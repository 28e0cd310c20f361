#include <gtest/gtest.h>

#include "sim/journal.h"
#include "sim/silent_mp3.h"
#include "sim/video_content.h"

namespace pelvaro::sim {
namespace {

TEST(VideoContent, AnyRangeMatchesTheWholeFile) {
  const std::uint64_t key = VideoContent::KeyFor("V_abcdefgh", 1);
  const std::string whole = VideoContent::Bytes(key, 0, 200000);
  const std::pair<std::uint64_t, std::size_t> ranges[] = {{0, 1},          {1, 7},      {3, 9},
                                                          {7, 65536},      {65535, 3},  {65530, 70000},
                                                          {131071, 68929}, {199999, 1}, {12345, 0}};
  for (auto [offset, length] : ranges) {
    EXPECT_EQ(VideoContent::Bytes(key, offset, length), whole.substr(offset, length))
        << offset << "+" << length;
  }
}

TEST(VideoContent, FilesAndSegmentsDiffer) {
  auto a = VideoContent::Bytes(VideoContent::KeyFor("V_abcdefgh", 0), 0, 64);
  EXPECT_NE(a, VideoContent::Bytes(VideoContent::KeyFor("V_abcdefgh", 1), 0, 64));
  EXPECT_NE(a, VideoContent::Bytes(VideoContent::KeyFor("V_abcdefgi", 0), 0, 64));
  EXPECT_EQ(a, VideoContent::Bytes(VideoContent::KeyFor("V_abcdefgh", 0), 0, 64));
  // A block written one 64 KiB segment off must not look right.
  auto key = VideoContent::KeyFor("V_abcdefgh", 0);
  EXPECT_NE(VideoContent::Bytes(key, 0, 4096), VideoContent::Bytes(key, 65536, 4096));
  EXPECT_NE(VideoContent::Bytes(key, 0, 4096), VideoContent::Bytes(key, 1ull << 32, 4096));
}

TEST(SilentMp3, FramesCarryMpeg1LayerThreeHeaders) {
  std::string mp3 = SilentMp3(10);
  ASSERT_EQ(mp3.size(), 4170u);
  for (std::size_t at = 0; at < mp3.size(); at += 417) {
    EXPECT_EQ(static_cast<unsigned char>(mp3[at]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(mp3[at + 1]) & 0xFE, 0xFA);  // MPEG-1, Layer III
  }
}

TEST(Journal, QuotingKeepsEveryByte) {
  EXPECT_EQ(Journal::Quote("a\"b\\c\r\n\x01"), "\"a\\\"b\\\\c\\r\\n\\u0001\"");
  EXPECT_EQ(Journal::Quote("娱乐"), "\"娱乐\"");
  // GBK bytes are not UTF-8: each byte becomes the code point of its value.
  EXPECT_EQ(Journal::Quote("\xD3\xE9"), "\"\xC3\x93\xC3\xA9\"");
  EXPECT_EQ(Journal::QuoteList({"A: 1", "b: 2"}), "[\"A: 1\",\"b: 2\"]");
}

}  // namespace
}  // namespace pelvaro::sim

#include "sim/silent_mp3.h"

namespace pelvaro::sim {

std::string SilentMp3(int frames) {
  // 144 * 128000 / 44100 = 417 bytes per frame without padding.
  constexpr std::size_t kFrameBytes = 417;
  std::string frame(kFrameBytes, '\0');
  frame[0] = static_cast<char>(0xFF);  // frame sync
  frame[1] = static_cast<char>(0xFB);  // sync, MPEG-1, Layer III, no CRC
  frame[2] = static_cast<char>(0x90);  // 128 kbit/s, 44.1 kHz, no padding
  frame[3] = static_cast<char>(0xC4);  // mono, original
  std::string mp3;
  mp3.reserve(kFrameBytes * static_cast<std::size_t>(frames));
  for (int i = 0; i < frames; ++i) mp3 += frame;
  return mp3;
}

}  // namespace pelvaro::sim

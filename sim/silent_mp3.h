#pragma once

#include <string>

namespace pelvaro::sim {

// About a second of silence as MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz, mono): the answer of
// the speech service. Every frame carries a zero side-info block, which decoders play as silence.
std::string SilentMp3(int frames = 38);

}  // namespace pelvaro::sim

#pragma once
// Playback of a sound file, implemented by the user-interface layer.

#include "platform/path.h"
#include "platform/text.h"

namespace pelvaro {

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  virtual bool PlayFile(const Path& path) = 0;
};

}  // namespace pelvaro

#pragma once
// The shell's audio interface on the Qt playback of the user-interface layer.

#include "shell/audio_output.h"
#include "ui/qt_audio_output.h"

namespace pelvaro {

class QtSpeechOutput : public AudioOutput {
 public:
  // player must outlive this object; it plays on its own (the GUI) thread.
  explicit QtSpeechOutput(QtAudioOutput& player) : player_(player) {}
  bool PlayFile(const Path& path) override { return player_.PlayFile(path); }

 private:
  QtAudioOutput& player_;
};

}  // namespace pelvaro

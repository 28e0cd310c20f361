#pragma once
// MP3 playback for the spoken introduction.

#include <QObject>

#include "platform/path.h"
#include "platform/text.h"

class QAudioOutput;
class QMediaPlayer;

namespace pelvaro {

class QtAudioOutput : public QObject {
 public:
  explicit QtAudioOutput(QObject* parent = nullptr);
  ~QtAudioOutput() override;

  // Starts playing the MP3 file at path (GBK) once from its beginning and returns without
  // waiting for the end; a sound still playing is cut off. False, and nothing is shown, when the
  // file does not exist or the machine has no audio output. Callable from any thread; the
  // playback itself lives on this object's thread.
  bool PlayFile(const Path& path);

 private:
  bool playHere(const QString& path);

  QMediaPlayer* player_ = nullptr;
  QAudioOutput* output_ = nullptr;
};

}  // namespace pelvaro

#include "ui/qt_audio_output.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

#include "ui/gui_call.h"
#include "ui/qt_text.h"

namespace pelvaro {

QtAudioOutput::QtAudioOutput(QObject* parent) : QObject(parent) {}

QtAudioOutput::~QtAudioOutput() = default;

bool QtAudioOutput::PlayFile(const Path& path) {
  QString file = QtFromPath(path);
  return CallOnThreadOf<bool>(this, [this, file] { return playHere(file); });
}

bool QtAudioOutput::playHere(const QString& path) {
  if (path.isEmpty() || !QFileInfo(path).isFile()) return false;
  if (QMediaDevices::audioOutputs().isEmpty()) return false;
  // Created on first use: a program that never speaks never loads the media back end.
  if (player_ == nullptr) {
    output_ = new QAudioOutput(this);
    player_ = new QMediaPlayer(this);
    player_->setAudioOutput(output_);
  }
  player_->stop();
  player_->setSource(QUrl::fromLocalFile(path));
  player_->play();
  return player_->error() == QMediaPlayer::NoError;
}

}  // namespace pelvaro

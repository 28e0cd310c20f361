#pragma once
// The small network features of the start-up window: the vendor's announcement, the quote of
// the day and the spoken introduction with its MP3 cache under data/mp3.

#include "platform/form.h"
#include "platform/text.h"
#include "shell/audio_output.h"

namespace pelvaro {

// Sets 透明标签_公告 to the "all" member of http://UpdateHost1/gonggao.json (empty text when
// the fetch, the parse or the member fails). Runs on its own thread.
void AnnouncementJob(Form& startup);

// Sets status-bar panel 2 to three blanks and the quote from the quote service (UTF-8 answer).
void ShowQuote(Form& startup);

Text IntroductionText();
void SpeakIntroduction(AudioOutput* audio);

// DataFolder()/mp3/<md5 of the GBK text>.mp3
Path SpeechCachePath(const Text& text);
// "http://SpeechServiceHost/gettts?lan=zh&text=" + every UTF-8 byte as %XX + "&spd=5&source=web.mp3"
Text SpeechUrl(const Text& text);

// Plays the cached speech of text when there is one (returns at once); otherwise fetches it
// into the cache and plays nothing. An empty, failed or non-MP3 answer is not cached, so a
// later call tries again. Without audio output the playback is skipped quietly.
void Speak(const Text& text, AudioOutput* audio);

}  // namespace pelvaro

#include "shell/extras.h"

#include "platform/data_folder.h"
#include "platform/files.h"
#include "platform/hosts.h"
#include "platform/window_layout.h"
#include "shell/answer_text.h"
#include "toolkit/encoding.h"
#include "toolkit/json_document.h"
#include "web/object_request.h"
#include "web/web_request.h"

namespace pelvaro {
namespace {

// An MP3 stream starts with an ID3 tag or a frame sync (11 set bits).
bool LooksLikeMp3(std::string_view bytes) {
  if (bytes.starts_with("ID3")) return true;
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
         (static_cast<unsigned char>(bytes[1]) & 0xE0) == 0xE0;
}

}  // namespace

void AnnouncementJob(Form& startup) {
  WebRequestOptions options;
  WebResult result;
  Text body = WebRequest("http://" + HostAddress(Host::Update1) + "/gonggao.json", options, result);
  JsonDocument document;
  Text announcement;
  if (document.parse(AnswerText(body))) announcement = document.textAt(Gbk("all"));
  startup.setText(startup_window::kAnnouncement, announcement);
}

void ShowQuote(Form& startup) {
  WebRequestOptions options;
  WebResult result;
  Text quote = WebRequest("https://" + HostAddress(Host::QuoteService) + "/?encode=text", options, result);
  startup.setPanelText(startup_window::kStatusBar, 2, "   " + Utf8ToGbkText(quote));
}

Text IntroductionText() {
  return Gbk("感谢使用我们的软件，本软件的关联项目正在录制中，后续会更新到本软件内。");
}

void SpeakIntroduction(AudioOutput* audio) { Speak(IntroductionText(), audio); }

Path SpeechCachePath(const Text& text) {
  return JoinPath(JoinPath(DataFolder(), "mp3"), Md5Hex(text) + ".mp3");
}

Text SpeechUrl(const Text& text) {
  return "http://" + HostAddress(Host::SpeechService) +
         "/gettts?lan=zh&text=" + PercentEncode(text, false, true) + "&spd=5&source=web.mp3";
}

void Speak(const Text& text, AudioOutput* audio) {
  const Path path = SpeechCachePath(text);
  if (FileExists(path)) {
    if (audio != nullptr) audio->PlayFile(path);
    return;
  }
  const Path folder = JoinPath(DataFolder(), "mp3");
  if (!FolderExists(folder)) CreateFolders(folder);
  ObjectRequestOptions options;
  ObjectRequestResult result;
  std::string bytes = ObjectWebRequest(SpeechUrl(text), options, result);
  bool answered = result.statusCode >= 200 && result.statusCode < 300;
  if (answered && LooksLikeMp3(bytes)) WriteFileAtomically(path, bytes);
}

}  // namespace pelvaro

#include "shell/extras.h"

#include "platform/memory_form.h"
#include "platform/window_layout.h"
#include "shell_test_support.h"
#include "support/sim_process.h"
#include "test_server.h"
#include "toolkit/encoding.h"

namespace pelvaro {
namespace {

using testing::ClosedAddress;
using testing::ShellTest;
using testing::TestServer;
namespace sw = startup_window;

class RecordingAudio : public AudioOutput {
 public:
  bool PlayFile(const Path& path) override {
    played.push_back(path);
    return true;
  }
  std::vector<Path> played;
};

const std::string kMp3 = std::string("ID3\x03\x00", 5) + std::string(64, '\0');

TEST_F(ShellTest, AnnouncementShowsTheAllMember) {
  struct Case {
    std::string body;
    const char* shown;
  };
  const Case cases[] = {
      {"{\"all\":\"今日公告\",\"other\":1}", "今日公告"},
      {Utf8ToGbk("{\"all\":\"今日公告\"}"), "今日公告"},
      {"{\"none\":1}", ""},
      {"<html>500</html>", ""},
  };
  for (const auto& c : cases) {
    TestServer host;
    host.Serve("/gonggao.json", c.body, "application/json");
    host.Start();
    setenv("PELVARO_UPDATE_HOST1", host.address().c_str(), 1);
    auto form = MemoryForm::StartupWindow();
    AnnouncementJob(*form);
    EXPECT_EQ(GbkToUtf8(form->text(sw::kAnnouncement)), c.shown) << c.body;
  }
  setenv("PELVARO_UPDATE_HOST1", ClosedAddress().c_str(), 1);
  auto form = MemoryForm::StartupWindow();
  AnnouncementJob(*form);
  EXPECT_EQ(form->text(sw::kAnnouncement), "");
}

TEST_F(ShellTest, QuoteOfTheDayFromTheService) {
  // The emoji has no GBK form and shows as the converter's default character.
  testing::SimProcess sim({"--articles", "50", "--quote", "千里之行，始于足下。🌄"}, runDir_);
  ASSERT_TRUE(sim.started());
  auto form = MemoryForm::StartupWindow();
  ShowQuote(*form);
  EXPECT_EQ(GbkToUtf8(form->panelText(sw::kStatusBar, 2)), "   千里之行，始于足下。?");
  ASSERT_EQ(sim.journal("quote").size(), 1u);
  EXPECT_EQ(sim.journal("quote")[0]["target"], "/?encode=text");
}

TEST_F(ShellTest, SpeechIsFetchedOnceIntoItsCacheThenPlayed) {
  TestServer speech;
  speech.Serve("/gettts", kMp3, "audio/mpeg");
  speech.Start();
  setenv("PELVARO_SPEECH_SERVICE_HOST", speech.address().c_str(), 1);
  RecordingAudio audio;

  std::string cache = runDir_ + "/data/mp3/" + Md5Hex(IntroductionText()) + ".mp3";
  SpeakIntroduction(&audio);
  EXPECT_TRUE(audio.played.empty());  // the first press only fills the cache
  EXPECT_EQ(Read(cache), kMp3);
  ASSERT_EQ(speech.targets().size(), 1u);
  // Every UTF-8 byte of the text is percent-encoded, ASCII included.
  EXPECT_EQ(speech.targets()[0], "/gettts?lan=zh&text=" + PercentEncode(IntroductionText(), false, true) +
                                     "&spd=5&source=web.mp3");
  EXPECT_TRUE(speech.targets()[0].starts_with("/gettts?lan=zh&text=%E6%84%9F%E8%B0%A2"));

  SpeakIntroduction(&audio);
  SpeakIntroduction(nullptr);  // without audio output nothing happens
  EXPECT_EQ(audio.played, std::vector<Path>{Path(cache)});
  EXPECT_EQ(speech.targets().size(), 1u);

  std::filesystem::remove(cache);
  SpeakIntroduction(&audio);
  EXPECT_EQ(speech.targets().size(), 2u);
  EXPECT_TRUE(std::filesystem::exists(cache));
}

TEST_F(ShellTest, FailedSpeechIsNotCached) {
  struct Case {
    int status;
    std::string body;
  };
  for (const Case& c : {Case{500, kMp3}, Case{200, ""}, Case{200, "<html>busy</html>"}}) {
    TestServer speech;
    speech.Get("/gettts", [c](const httplib::Request&, httplib::Response& response) {
      response.status = c.status;
      response.set_content(c.body, "audio/mpeg");
    });
    speech.Start();
    setenv("PELVARO_SPEECH_SERVICE_HOST", speech.address().c_str(), 1);
    RecordingAudio audio;
    Speak("abc", &audio);
    Speak("abc", &audio);
    EXPECT_EQ(speech.targets().size(), 2u) << c.status << c.body;  // each press tries again
    EXPECT_FALSE(std::filesystem::exists(SpeechCachePath("abc").bytes()));
    EXPECT_TRUE(audio.played.empty());
  }
}

}  // namespace
}  // namespace pelvaro

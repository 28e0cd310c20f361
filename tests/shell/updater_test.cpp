#include "shell/startup_steps.h"
#include "shell/updater.h"

#include <sys/stat.h>

#include <chrono>
#include <clocale>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <thread>

#include "platform/memory_form.h"
#include "platform/window_layout.h"
#include "shell/app_identity.h"
#include "shell/run_log.h"
#include "shell_test_support.h"
#include "support/sim_process.h"
#include "test_server.h"
#include "web/ranged_downloader.h"
#include "web/transfer_limits.h"

namespace pelvaro {
namespace {

using testing::ClosedAddress;
using testing::ShellTest;
using testing::TestServer;
namespace sw = startup_window;

std::string Manifest(const std::string& version, const std::string& fileName = "new.bin",
                     const std::string& address = "") {
  return "{\"版本\":\"" + version + "\",\"更新说明\":\"修复了问题\",\"文件名\":\"" + fileName +
         "\",\"下载地址\":\"" + address + "\"}";
}

class UpdaterTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    std::filesystem::create_directories(runDir_ + "/data");
    std::filesystem::create_directories(home_ + "/Desktop");
    for (const char* variable : {"PELVARO_UPDATE_HOST1", "PELVARO_UPDATE_HOST2", "PELVARO_UPDATE_HOST3",
                                 "PELVARO_QUOTE_SERVICE_HOST"}) {
      setenv(variable, ClosedAddress().c_str(), 1);
    }
    form_ = MemoryForm::StartupWindow();
    // A refused or broken download is asked again after milliseconds, not seconds.
    TransferLimits limits;
    limits.firstPause = std::chrono::milliseconds(20);
    SetTransferLimits(limits);
  }
  void TearDown() override {
    form_.reset();
    SetTransferLimits(TransferLimits());
    ShellTest::TearDown();
  }
  void useHost(int number, TestServer& server) {
    setenv(("PELVARO_UPDATE_HOST" + std::to_string(number)).c_str(), server.address().c_str(), 1);
  }
  std::string runLog() {
    return GbkToUtf8(Read(runDir_ + "/data/" + GbkToUtf8(RunLog::fileName(LocalNow()))));
  }
  // Waits for the download started by the flow, final report included.
  static void waitForDownload(int task) {
    ASSERT_GT(task, 0);
    EXPECT_EQ(RangedDownloader().WaitForEnd(task, std::chrono::minutes(2)), DownloadOutcome::Finished);
  }

  std::unique_ptr<MemoryForm> form_;
};

TEST_F(UpdaterTest, VersionIsComparedAsExactText) {
  struct Case {
    std::string body;
    const char* expected;
  };
  const Case cases[] = {
      {Manifest("4.6"), "1"},         {Manifest("4.60"), "0"},
      {Manifest("4.6 "), "0"},        {Manifest(" 4.6"), "0"},
      {Manifest("v4.6"), "0"},        {Utf8ToGbk(Manifest("4.6")), "1"},  // a manifest in GBK reads the same
      {"<html>not json</html>", "0"},
  };
  for (const auto& c : cases) {
    TestServer server;
    server.Serve("/down_pelvaro/index.json", c.body, "application/json");
    server.Start();
    useHost(1, server);
    EXPECT_EQ(CheckVersion(), c.expected) << c.body;
  }
  setenv("PELVARO_UPDATE_HOST1", ClosedAddress().c_str(), 1);
  EXPECT_EQ(CheckVersion(), "0");
}

TEST_F(UpdaterTest, ProbesHostsInOrderAndReadsTheChosenManifest) {
  enum Probe { kDown, kOk, kWrong };  // kWrong answers "ok" with a line break: it does not count
  struct Case {
    Probe probes[3];
    const char* status;
    int manifestFrom;  // 1-based; 0: none could answer
  };
  const Case cases[] = {
      {{kOk, kOk, kOk}, "华北多线服务器正常", 1},
      {{kDown, kOk, kOk}, "广州服务器正常", 2},
      {{kWrong, kDown, kOk}, "上海服务器正常", 3},
      {{kWrong, kWrong, kDown}, "服务器异常，尝试使用多线服务器连接", 1},
      {{kDown, kDown, kDown}, "服务器异常，尝试使用多线服务器连接", 0},
  };
  for (const auto& c : cases) {
    TestServer hosts[3];
    for (int i = 0; i < 3; ++i) {
      hosts[i].Serve("/test.txt", c.probes[i] == kOk ? "ok" : "ok\r\n");
      hosts[i].Serve("/down_pelvaro/index.json", Manifest("4.7"), "application/json");
      if (c.probes[i] == kDown) continue;
      hosts[i].Start();
      useHost(i + 1, hosts[i]);
    }
    for (int i = 0; i < 3; ++i) {
      if (c.probes[i] == kDown)
        setenv(("PELVARO_UPDATE_HOST" + std::to_string(i + 1)).c_str(), ClosedAddress().c_str(), 1);
    }
    auto form = MemoryForm::StartupWindow();
    form->setMessageHandler([](const MemoryForm::ShownMessage&) { return false; });
    EXPECT_EQ(RunUpdateFlow(*form), 0);
    EXPECT_EQ(GbkToUtf8(form->panelText(sw::kStatusBar, 1)), c.status);
    // No manifest, no prompt: the board keeps its text.
    EXPECT_EQ(GbkToUtf8(form->text(sw::kAnnouncement)),
              c.manifestFrom != 0 ? "发现新版本，更新内容：\r\n修复了问题" : "软件最新信息");
    EXPECT_EQ(form->shownMessages().size(), c.manifestFrom != 0 ? 1u : 0u);
    int chosen = c.probes[0] == kOk ? 1 : c.probes[1] == kOk ? 2 : 3;
    for (int i = 0; i < 3; ++i) {
      std::vector<std::string> expected;
      if (c.probes[i] != kDown && i + 1 <= chosen) expected.push_back("/test.txt");
      if (i + 1 == c.manifestFrom) expected.push_back("/down_pelvaro/index.json");
      EXPECT_EQ(hosts[i].targets(), expected) << c.status << " host " << i + 1;
    }
  }
}

TEST_F(UpdaterTest, CancelledPromptChangesNothingElse) {
  TestServer host;
  host.Serve("/test.txt", "ok");
  host.Serve("/down_pelvaro/index.json", Manifest("4.7", "new.bin", "http://" + host.address() + "/new.bin"));
  host.Start();
  useHost(1, host);
  form_->setMessageHandler([](const MemoryForm::ShownMessage&) { return false; });
  Text designPanel = form_->text(sw::kUpdatePanel);

  EXPECT_EQ(RunUpdateFlow(*form_), 0);
  Text notice = Gbk("发现新版本，更新内容：\r\n修复了问题");
  EXPECT_EQ(form_->text(sw::kAnnouncement), notice);
  auto shown = form_->shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].message, notice);
  EXPECT_EQ(shown[0].title, Gbk("发现新版本，是否更新"));
  EXPECT_EQ(shown[0].buttons, MessageButtons::OkCancel);
  EXPECT_EQ(form_->text(sw::kUpdatePanel), designPanel);
  EXPECT_FALSE(form_->visible(sw::kOpenNewVersion));
  EXPECT_EQ(host.targets().size(), 2u);  // probe and manifest, no download

  std::string log = runLog();
  auto upgrade = log.find("   提醒用户升级\r\n");
  auto fetched = log.find("   升级文件获取到数据\r\n");
  auto check = log.find("   启动升级程序检查\r\n");
  ASSERT_NE(check, std::string::npos);
  EXPECT_LT(upgrade, fetched);
  EXPECT_LT(fetched, check);
}

TEST_F(UpdaterTest, AcceptedPromptDownloadsAndOffersTheNewVersion) {
  // Only the third host answers its probe; the manifest arrives in GBK.
  testing::SimProcess sim(
      {"--articles", "50", "--offered-version", "4.7", "--update-size", "30000", "--update-hosts", "3",
       "--update-file-name", "新版.bin", "--manifest-encoding", "gbk"},
      runDir_);
  ASSERT_TRUE(sim.started());
  int task = RunUpdateFlow(*form_);
  EXPECT_EQ(GbkToUtf8(form_->panelText(sw::kStatusBar, 1)), "上海服务器正常");
  EXPECT_TRUE(
      GbkToUtf8(form_->text(sw::kAnnouncement)).starts_with("发现新版本，更新内容：\r\n1. 新版本 4.7"));
  waitForDownload(task);

  std::string target = runDir_ + "/新版.bin";
  EXPECT_EQ(UpdateTarget().bytes(), target);
  EXPECT_EQ(std::filesystem::file_size(target), 30000u);
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_EQ(GbkToUtf8(form_->text(sw::kUpdatePanel)), "更新结束");
  EXPECT_TRUE(form_->visible(sw::kOpenNewVersion));
  EXPECT_EQ(GbkToUtf8(form_->text(sw::kOpenNewVersion)), "打开：新版.bin");
  std::string launcher = Read(home_ + "/Desktop/Pelvaro视频下载器.desktop");
  EXPECT_NE(launcher.find("Exec=\"" + target + "\"\n"), std::string::npos) << launcher;
  std::vector<std::string> probed;
  for (const char* host : {"update1", "update2", "update3"}) {
    for (const auto& request : sim.journal(host))
      probed.push_back(std::string(host) + request["target"].get<std::string>());
  }
  ASSERT_GE(probed.size(), 4u);
  EXPECT_EQ(probed[0], "update1/test.txt");
  EXPECT_EQ(probed[1], "update2/test.txt");
  EXPECT_EQ(probed[2], "update3/test.txt");
  EXPECT_EQ(probed[3], "update3/down_pelvaro/index.json");
}

// Every regular file below folder (links left out) with a hash of its content.
std::map<std::string, std::size_t> ContentHashes(const std::string& folder) {
  std::map<std::string, std::size_t> hashes;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_symlink() || !entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    hashes[entry.path().string()] = std::hash<std::string>{}(content);
  }
  return hashes;
}

TEST_F(UpdaterTest, HostileManifestsOnlyEverAddANewFileBesideTheProgram) {
  struct Case {
    std::string fileName;
    std::string downloadName;  // the address's last part
    std::string expected;      // the new file in RunDir; empty: refused, nothing downloaded
  };
  const Case cases[] = {
      {"data", "x/setsoft.ini", "data (2)"},  // the settings' folder, the settings' name
      {"pelvarolishi", "x/123", "pelvarolishi (2)"},
      {"video", "x/a.mp4", "video (2)"},
      {"pelvaro-collector", "x/pelvaro-collector", "pelvaro-collector (2)"},  // the program
      {"new.bin", "x/new.bin", "new (2).bin"},
      {"pelvaro-collector-next", "x/next.bin", "pelvaro-collector-next"},  // no extension
      {"..", "x/setsoft.ini", ""},
      {"../setsoft.ini", "x/setsoft.ini", ""},
      {"data/setsoft.ini", "x/setsoft.ini", ""},
      {runDir_ + "/data/setsoft.ini", "x/setsoft.ini", ""},
      {".", "x/setsoft.ini", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fileName);
    std::filesystem::remove_all(runDir_);
    // The launcher is refreshed by design after every download.
    std::filesystem::remove(home_ + "/Desktop/Pelvaro视频下载器.desktop");
    Write(runDir_ + "/pelvaro-collector", std::string(40000, 'p'));
    Write(runDir_ + "/new.bin", "an older download");
    Write(runDir_ + "/data/setsoft.ini", "[main]\r\nsaved=1\r\n");
    Write(runDir_ + "/data/运行日志2020年1月1日.txt", "old log\r\n");
    Write(runDir_ + "/data/mp3/0123456789abcdef0123456789abcdef.mp3", "mp3");
    Write(runDir_ + "/pelvarolishi/123", "");
    Write(runDir_ + "/video/a.mp4", "video");
    Write(home_ + "/Documents/tmbq.dll", "accepted");
    auto before = ContentHashes(runDir_);
    before.merge(ContentHashes(home_));

    testing::SimProcess sim({"--articles", "50", "--offered-version", "4.7", "--update-size", "30000",
                             "--update-file-name", c.fileName, "--update-download-name", c.downloadName},
                            runDir_);
    ASSERT_TRUE(sim.started());
    auto form = MemoryForm::StartupWindow();
    int task = RunUpdateFlow(*form);
    if (c.expected.empty()) {
      EXPECT_EQ(task, 0);
      EXPECT_EQ(GbkToUtf8(form->text(sw::kUpdatePanel)),
                "抱歉，自动更新失败，请到官网下载，下载后，把文件复制到当前目录");
    } else {
      waitForDownload(task);
      const std::string target = runDir_ + "/" + c.expected;
      EXPECT_EQ(UpdateTarget().bytes(), target);
      EXPECT_EQ(std::filesystem::file_size(target), 30000u);
      struct stat st {};
      ASSERT_EQ(lstat(target.c_str(), &st), 0);
      EXPECT_TRUE(S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR));
      EXPECT_EQ(GbkToUtf8(form->text(sw::kOpenNewVersion)), "打开：" + c.expected);
    }
    // Nothing that was there has changed, and nothing but the new file (and today's log) came.
    auto after = ContentHashes(runDir_);
    after.merge(ContentHashes(home_));
    for (const auto& [path, hash] : before) EXPECT_EQ(after[path], hash) << path;
    std::set<std::string> added;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(runDir_)) {
      if (!entry.is_directory() && !before.contains(entry.path().string()))
        added.insert(entry.path().string());
    }
    added.erase(runDir_ + "/data/" + GbkToUtf8(RunLog::fileName(LocalNow())));
    EXPECT_EQ(added, c.expected.empty() ? std::set<std::string>{}
                                        : std::set<std::string>{runDir_ + "/" + c.expected});
    int downloads = 0;
    for (const auto& request : sim.journal("update1"))
      downloads += request["target"].get<std::string>().starts_with("/down_pelvaro/download/");
    EXPECT_EQ(downloads > 0, !c.expected.empty());
  }
}

TEST_F(UpdaterTest, TransferThatBreaksOffLeavesNoFile) {
  testing::SimProcess sim({"--articles", "50", "--offered-version", "4.7", "--update-size", "300000",
                           "--update-file-name", "next", "--drop-after", "1000"},
                          runDir_);
  ASSERT_TRUE(sim.started());
  int task = RunUpdateFlow(*form_);
  ASSERT_GT(task, 0);
  EXPECT_EQ(RangedDownloader().WaitForEnd(task, std::chrono::minutes(2)), DownloadOutcome::Failed);
  EXPECT_EQ(GbkToUtf8(form_->text(sw::kUpdatePanel)),
            "抱歉，自动更新失败，请到官网下载，下载后，把文件复制到当前目录");
  EXPECT_FALSE(std::filesystem::exists(runDir_ + "/next"));
  EXPECT_FALSE(std::filesystem::exists(runDir_ + "/next.download"));
}

TEST_F(UpdaterTest, FailedStartLeavesNoFile) {
  TestServer host;
  host.Serve("/test.txt", "ok");
  host.Serve("/down_pelvaro/index.json", Manifest("4.7", "next", "http://" + ClosedAddress() + "/next"));
  host.Start();
  useHost(1, host);
  EXPECT_EQ(RunUpdateFlow(*form_), 0);
  EXPECT_EQ(GbkToUtf8(form_->text(sw::kUpdatePanel)),
            "抱歉，自动更新失败，请到官网下载，下载后，把文件复制到当前目录");
  EXPECT_FALSE(std::filesystem::exists(runDir_ + "/next"));
  EXPECT_FALSE(std::filesystem::exists(runDir_ + "/next.download"));
}

TEST_F(UpdaterTest, AManifestWithoutANewerVersionOffersNothing) {
  for (const std::string& body :
       {std::string("{\"更新说明\":\"说明\"}"), Manifest("4.5"), Manifest("v4.7")}) {
    TestServer host;
    host.Serve("/test.txt", "ok");
    host.Serve("/down_pelvaro/index.json", body, "application/json");
    host.Start();
    useHost(1, host);
    auto form = MemoryForm::StartupWindow();
    EXPECT_EQ(RunUpdateFlow(*form), 0);
    EXPECT_TRUE(form->shownMessages().empty()) << body;
    EXPECT_EQ(GbkToUtf8(form->text(sw::kUpdatePanel)), "更新服务器提供的版本不比当前版本新，不更新。");
    EXPECT_EQ(host.targets().size(), 2u);  // probe and manifest, no download
  }
}

// Only a file signed by a trusted key for a newer version is kept. Any other offer leaves the
// program's folder, the home folder and the launcher exactly as they were: nothing new, nothing
// executable, nothing to open; one sentence in the panel and the reason in the run log.
TEST_F(UpdaterTest, AnOfferNotSignedForANewerVersionChangesNothing) {
  struct Case {
    const char* name;
    std::vector<std::string> flags;
    const char* reason;  // in the run log; null: refused before any download
  };
  const Case cases[] = {
      {"unsigned", {"--update-signature", "none"}, "没有签名"},
      {"tampered", {"--update-signature", "tampered"}, "签名与文件不符"},
      {"another key", {"--update-signature", "other-key"}, "签名的密钥不受信任"},
      {"another version's comment",
       {"--update-signature", "wrong-comment"},
       "签名的版本不符：pelvaro-collector 99.0"},
      {"not a signature", {"--update-signature", "garbage"}, "签名格式不对"},
      {"an older version", {"--offered-version", "4.5"}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(runDir_);
    Write(runDir_ + "/pelvaro-collector", std::string(40000, 'p'));
    Write(runDir_ + "/data/setsoft.ini", "[main]\r\nsaved=1\r\n");
    Write(home_ + "/Desktop/Pelvaro视频下载器.desktop",
          "[Desktop Entry]\nExec=\"" + runDir_ + "/pelvaro-collector\"\n");
    auto before = ContentHashes(runDir_);
    before.merge(ContentHashes(home_));

    std::vector<std::string> flags = {"--articles",    "50",    "--offered-version",  "4.7",
                                      "--update-size", "30000", "--update-file-name", "next"};
    flags.insert(flags.end(), c.flags.begin(), c.flags.end());
    testing::SimProcess sim(flags, runDir_);
    ASSERT_TRUE(sim.started());
    auto form = MemoryForm::StartupWindow();
    const int task = RunUpdateFlow(*form);
    if (c.reason != nullptr) {
      waitForDownload(task);
      EXPECT_EQ(GbkToUtf8(form->text(sw::kUpdatePanel)),
                "下载的新版本没有通过签名验证，已经删除，请到官网下载。");
      EXPECT_NE(runLog().find(std::string("   更新文件未通过验证：") + c.reason + "\r\n"), std::string::npos)
          << runLog();
    } else {
      EXPECT_EQ(task, 0);
      EXPECT_EQ(GbkToUtf8(form->text(sw::kUpdatePanel)), "更新服务器提供的版本不比当前版本新，不更新。");
    }
    EXPECT_FALSE(form->visible(sw::kOpenNewVersion));
    EXPECT_EQ(UpdateTarget(), Path());
    EXPECT_FALSE(OpenNewVersion());

    auto after = ContentHashes(runDir_);
    after.merge(ContentHashes(home_));
    after.erase(runDir_ + "/data/" + GbkToUtf8(RunLog::fileName(LocalNow())));
    EXPECT_EQ(after, before);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(runDir_)) {
      EXPECT_FALSE(entry.is_regular_file() && entry.path().filename() != "pelvaro-collector" &&
                   (entry.status().permissions() & std::filesystem::perms::owner_exec) !=
                       std::filesystem::perms::none)
          << entry.path();
    }
  }
}

// A copy installed by the package manager is updated by it: the check only says so.
TEST_F(UpdaterTest, AnInstalledCopyOnlySaysThatTheVersionIsOut) {
  testing::SimProcess sim({"--articles", "50", "--offered-version", "4.7", "--update-size", "30000"}, runDir_);
  ASSERT_TRUE(sim.started());
  EXPECT_EQ(RunUpdateFlow(*form_, Path("/usr/bin/pelvaro-collector")), 0);
  EXPECT_EQ(GbkToUtf8(form_->text(sw::kUpdatePanel)), "新版本4.7已发布，请用系统的软件包管理器更新。");
  EXPECT_TRUE(GbkToUtf8(form_->text(sw::kAnnouncement)).starts_with("发现新版本，更新内容：\r\n"));
  EXPECT_TRUE(form_->shownMessages().empty());
  for (const char* host : {"update1", "update2", "update3"}) {
    for (const auto& request : sim.journal(host))
      EXPECT_FALSE(request.value("target", "").starts_with("/down_pelvaro/download/")) << request;
  }
}

TEST_F(UpdaterTest, ProgressTexts) {
  EXPECT_EQ(GbkToUtf8(UpdateProgressText(2048, 1536)), "已下载：1.5kb/2kb\r\n进度：75%");
  EXPECT_EQ(GbkToUtf8(UpdateProgressText(3 * 1024 * 1024, 1024 * 1024)),
            "已下载：1024kb/3072kb\r\n进度：33.33333333333%");
  // A comma-decimal locale changes nothing.
  const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  for (auto [value, text] :
       std::initializer_list<std::pair<double, const char*>>{{0.1, "0.1"},
                                                             {100, "100"},
                                                             {1e20, "1e+20"},
                                                             {2.0 / 3, "0.6666666666667"},
                                                             {1.5, "1.5"},
                                                             {1e-5, "1e-05"},
                                                             {123456789012345.0, "1.234567890123e+14"}}) {
    EXPECT_EQ(NumberText(value), text) << german;
  }
  std::setlocale(LC_NUMERIC, "C");
  UpdateProgress(*form_, 1, 1, 2048, 1536);
  EXPECT_EQ(GbkToUtf8(form_->text(sw::kUpdatePanel)), "已下载：1.5kb/2kb\r\n进度：75%");
  // A failed transfer reports 0 of 0: it shows the failure, not a number.
  UpdateProgress(*form_, 1, -1, 0, 0);
  EXPECT_EQ(GbkToUtf8(form_->text(sw::kUpdatePanel)),
            "抱歉，自动更新失败，请到官网下载，下载后，把文件复制到当前目录");
  EXPECT_FALSE(form_->visible(sw::kOpenNewVersion));
}

TEST_F(UpdaterTest, FilesBelowTwentyKilobytesAreRefused) {
  struct Case {
    std::int64_t bytes;
    bool accepted;
  };
  for (const Case c : {Case{20480, true}, Case{20479, true}, Case{19456, false}}) {
    std::string target = runDir_ + "/new" + std::to_string(c.bytes) + ".bin";
    Write(target, std::string(static_cast<std::size_t>(c.bytes), 'x'));
    SetUpdateTarget(Path(target));
    auto form = MemoryForm::StartupWindow();
    UpdateProgress(*form, 1, 0, c.bytes, c.bytes);
    EXPECT_TRUE(form->visible(sw::kOpenNewVersion)) << c.bytes;
    EXPECT_EQ(GbkToUtf8(form->text(sw::kUpdatePanel)),
              c.accepted ? "更新结束" : "抱歉，自动更新失败，请到官网下载，下载后，把文件复制到当前目录")
        << c.bytes;
    EXPECT_EQ(std::filesystem::exists(home_ + "/Desktop/Pelvaro视频下载器.desktop"), c.accepted) << c.bytes;
    std::filesystem::remove(home_ + "/Desktop/Pelvaro视频下载器.desktop");
  }
  EXPECT_EQ(FileSizeKb(Path(runDir_ + "/missing")), -1);
}

TEST_F(UpdaterTest, OpenNewVersionStartsTheTarget) {
  SetUpdateTarget({});
  EXPECT_FALSE(OpenNewVersion());
  std::string script = runDir_ + "/new version.sh";
  Write(script, "#!/bin/sh\necho started > \"" + runDir_ + "/started\"\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  SetUpdateTarget(Path(script));
  ASSERT_TRUE(OpenNewVersion());
  for (int i = 0; i < 3000 && Read(runDir_ + "/started") != "started\n"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(Read(runDir_ + "/started"), "started\n");
}

TEST_F(UpdaterTest, UpdateJobWithACurrentVersion) {
  TestServer host;
  host.Serve("/down_pelvaro/index.json", Manifest("4.6"), "application/json");
  host.Start();
  useHost(1, host);
  Text designPanel = form_->text(sw::kUpdatePanel);
  UpdateJob(*form_);
  EXPECT_EQ(GbkToUtf8(form_->panelText(sw::kStatusBar, 0)), "版本v4.6");
  EXPECT_EQ(form_->panelText(sw::kStatusBar, 2), "   ");  // no quote service
  EXPECT_TRUE(form_->shownMessages().empty());
  EXPECT_EQ(form_->text(sw::kUpdatePanel), designPanel);
  std::string log = runLog();
  EXPECT_NE(log.find("   版本检查结果1是最新版：1\r\n"), std::string::npos);
  EXPECT_LT(log.find("   版本检查结果1是最新版：1\r\n"), log.find("   显示版本号4.6\r\n"));
}

}  // namespace
}  // namespace pelvaro

// The services as a client sees them: a simulator on free ports, real HTTP and HTTPS clients.

#include "sim/simulator.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/text.h"
#include "sim/video_content.h"
#include "toolkit/encoding.h"

namespace pelvaro::sim {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

class SimulatorTest : public ::testing::Test {
 protected:
  void Start(SimOptions options = {}) {
    char pattern[] = "/tmp/pelvaro-sim-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    options.ephemeral = true;
    options.size_scale = options.size_scale == 1.0 ? 0.02 : options.size_scale;
    options.articles = 500;
    options.journal = dir_ + "/journal.jsonl";
    options.ports_file = dir_ + "/ports.json";
    sim_ = std::make_unique<Simulator>(options);
    std::string error;
    ASSERT_TRUE(sim_->Start(error)) << error;
  }
  void Start(const Faults& faults) {
    SimOptions options;
    options.faults = faults;
    Start(options);
  }
  void TearDown() override {
    sim_.reset();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  std::unique_ptr<httplib::SSLClient> Platform() {
    auto client = std::make_unique<httplib::SSLClient>("127.0.0.1", sim_->Port("platform"));
    client->enable_server_certificate_verification(false);
    client->set_read_timeout(10, 0);
    return client;
  }
  std::unique_ptr<httplib::Client> Plain(const std::string& service) {
    auto client = std::make_unique<httplib::Client>("127.0.0.1", sim_->Port(service));
    client->set_read_timeout(10, 0);
    return client;
  }
  static httplib::Headers Signed() {
    std::string line = SignLine();
    return {{"sign", line.substr(5)}};
  }
  std::vector<Json> JournalLines() {
    std::vector<Json> lines;
    std::ifstream in(dir_ + "/journal.jsonl");
    for (std::string line; std::getline(in, line);) lines.push_back(Json::parse(line));
    return lines;
  }
  Json RelatedOf(const std::string& docid) {
    auto client = Platform();
    auto res = client->Get("/home/q/getrelatedvideoall?docid=" + docid + "&count=50&s=&column=b");
    EXPECT_TRUE(res);
    if (!res) return Json();
    EXPECT_EQ(res->status, 200);
    return Json::parse(res->body);
  }

  std::string dir_;
  std::unique_ptr<Simulator> sim_;
};

TEST_F(SimulatorTest, PortsFileNamesEveryService) {
  Start();
  std::ifstream in(dir_ + "/ports.json");
  Json ports = Json::parse(in);
  for (const auto& name : ServiceNames()) EXPECT_EQ(ports.at(name).get<int>(), sim_->Port(name)) << name;
  EXPECT_EQ(ports.size(), ServiceNames().size());
}

TEST_F(SimulatorTest, RelatedVideosAnswerWithAbsoluteUrlsOnThePlatformPort) {
  Start();
  const Graph& graph = sim_->graph();
  Json answer = RelatedOf(graph.DocidAt(0));
  auto list = answer.at("recommend_video");
  EXPECT_EQ(list.size(), graph.Related(0).size());
  std::string prefix = "https://127.0.0.1:" + std::to_string(sim_->Port("platform")) + "/video/";
  for (const auto& entry : list) {
    auto index = graph.Find(entry.at("docid").get<std::string>());
    ASSERT_TRUE(index);
    Article a = graph.ArticleAt(*index);
    EXPECT_EQ(entry.at("summary"), a.summary);
    EXPECT_EQ(entry.at("category"), a.category);
    EXPECT_EQ(entry.at("duration"), a.duration);
    ASSERT_EQ(entry.at("video_urls").size(), a.variant_sizes.size());
    for (std::size_t v = 0; v < a.variant_sizes.size(); ++v) {
      EXPECT_EQ(entry["video_urls"][v].at("url").get<std::string>().rfind(prefix, 0), 0u);
      EXPECT_EQ(entry["video_urls"][v].at("size"), a.variant_sizes[v]);
    }
  }
  EXPECT_EQ(RelatedOf("").at("recommend_video").size(), 0u);
  EXPECT_EQ(RelatedOf("V_unknown1").at("recommend_video").size(), 0u);
  EXPECT_EQ(RelatedOf(graph.DocidAt(0)), answer) << "answers are deterministic";
}

TEST_F(SimulatorTest, ArticlePageCarriesTheTitleInH2) {
  Start();
  auto client = Platform();
  const Graph& graph = sim_->graph();
  auto res = client->Get("/article/" + graph.DocidAt(3) + "?title_sn=0");
  ASSERT_TRUE(res);
  EXPECT_NE(res->body.find("<h2>" + graph.ArticleAt(3).title + "</h2>"), std::string::npos);
  res = client->Get("/article/V_nothere?title_sn=0");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
  EXPECT_EQ(res->body.find("<h2>"), std::string::npos);
}

TEST_F(SimulatorTest, VideoFilesHonourHeadAndByteRanges) {
  Start();
  const Graph& graph = sim_->graph();
  Article a = graph.ArticleAt(5);
  std::uint64_t size = a.variant_sizes[0];
  std::uint64_t key = VideoContent::KeyFor(a.docid, 0);
  std::string path = "/video/" + a.docid + "/0.mp4";
  auto client = Platform();

  auto head = client->Head(path.c_str());
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(size));
  EXPECT_TRUE(head->body.empty());

  auto whole = client->Get(path.c_str());
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->status, 200);
  EXPECT_EQ(whole->body, VideoContent::Bytes(key, 0, size));

  struct Case {
    std::string range;
    int status;
    std::uint64_t first, length;
  } cases[] = {
      {"bytes=0-0", 206, 0, 1},
      {"bytes=100-", 206, 100, size - 100},
      {"bytes=-7", 206, size - 7, 7},
      {"bytes=" + std::to_string(size) + "-", 416, 0, 0},
  };
  for (const auto& c : cases) {
    auto res = client->Get(path.c_str(), {{"Range", c.range}});
    ASSERT_TRUE(res) << c.range;
    EXPECT_EQ(res->status, c.status) << c.range;
    if (c.status == 206) {
      EXPECT_EQ(res->body, VideoContent::Bytes(key, c.first, c.length)) << c.range;
      EXPECT_EQ(res->get_header_value("Content-Range"), "bytes " + std::to_string(c.first) + "-" +
                                                            std::to_string(c.first + c.length - 1) + "/" +
                                                            std::to_string(size));
    } else {
      EXPECT_EQ(res->get_header_value("Content-Range"), "bytes */" + std::to_string(size));
    }
  }
  auto missing =
      client->Get(("/video/" + a.docid + "/" + std::to_string(a.variant_sizes.size()) + ".mp4").c_str());
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
}

TEST_F(SimulatorTest, HostileDocidsReachTheirFiles) {
  SimOptions options;
  options.hostile = true;
  Start(options);
  auto client = Platform();
  Json answer = RelatedOf(sim_->graph().DocidAt(0));
  int checked = 0;
  for (const auto& entry : answer.at("recommend_video")) {
    std::string url = entry["video_urls"][0]["url"];
    auto res = client->Head(url.substr(url.find("/video/")).c_str());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200) << entry["docid"];
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

TEST_F(SimulatorTest, CollectionServiceChecksTheSignAndReadsGbkCategories) {
  Start();
  auto client = Plain("vendor_api");
  std::string all = "/pelvaro?leimu=" + PercentEncode("all") + "&id=&del=";

  auto unsigned_answer = client->Get(all.c_str());
  ASSERT_TRUE(unsigned_answer);
  EXPECT_EQ(unsigned_answer->status, 403);
  EXPECT_TRUE(unsigned_answer->body.empty());
  std::string wrong = SignLineFor("1700000000").substr(5);
  wrong.replace(wrong.find('@') + 1, 10, "1700000001");
  auto forged = client->Get(all.c_str(), {{"sign", wrong}});
  ASSERT_TRUE(forged);
  EXPECT_EQ(forged->status, 403);
  EXPECT_TRUE(forged->body.empty());

  auto list = client->Get(all.c_str(), Signed());
  ASSERT_TRUE(list);
  EXPECT_EQ(list->status, 200);
  std::string expected;
  for (const auto& name : sim_->graph().Categories()) expected += Gbk(name) + "\r\n";
  EXPECT_EQ(list->body, expected);
  auto file = Plain("vendor_list")->Get("/list.txt");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->body, expected);

  for (const char* category : {"娱乐", "所有类目"}) {
    auto seed =
        client->Get(("/pelvaro?leimu=" + PercentEncode(Gbk(category)) + "&id=&del=").c_str(), Signed());
    ASSERT_TRUE(seed);
    auto index = sim_->graph().Find(seed->body);
    ASSERT_TRUE(index) << category << ": " << seed->body;
    if (std::string(category) == "娱乐") {
      EXPECT_EQ(sim_->graph().ArticleAt(*index).category, "娱乐");
    }
  }
  for (const std::string& leimu : {PercentEncode(Gbk("没有这个")), std::string()}) {
    auto none = client->Get(("/pelvaro?leimu=" + leimu + "&id=&del=").c_str(), Signed());
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->body.empty()) << leimu;
  }
}

TEST_F(SimulatorTest, ReportsAreRecordedAndBecomeSeeds) {
  Start();
  auto client = Plain("vendor_api");
  std::string report = "/pelvaro?leimu=" + PercentEncode(Gbk("体育")) + "&id=V_reported1&del=";
  auto first = client->Get(report.c_str(), Signed());
  auto again = client->Get(report.c_str(), Signed());
  ASSERT_TRUE(first && again);
  EXPECT_FALSE(first->body.empty());
  EXPECT_NE(first->body, again->body);
  auto reports = sim_->vendor().Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].category, "体育");
  EXPECT_EQ(reports[0].id, "V_reported1");
  auto seed = client->Get(("/pelvaro?leimu=" + PercentEncode(Gbk("体育")) + "&id=&del=").c_str(), Signed());
  ASSERT_TRUE(seed);
  EXPECT_EQ(seed->body, "V_reported1");

  bool journaled = false;
  for (const auto& line : JournalLines()) {
    journaled = journaled || (line.value("event", "") == "report" && line["category"] == "体育" &&
                              line["id"] == "V_reported1");
  }
  EXPECT_TRUE(journaled);
}

TEST_F(SimulatorTest, NotificationRecordsTitleAndBody) {
  Start();
  auto res = Plain("vendor_api")
                 ->Get(("/tongzhi?mubiao=a@b.c&title=" + PercentEncode(Gbk("电脑PC01发现bug")) +
                        "&body=" + PercentEncode(Gbk("错误信息：x\r\n")) + "&sa=1")
                           .c_str(),
                       Signed());
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  bool seen = false;
  for (const auto& line : JournalLines()) {
    if (line.value("event", "") != "notice") continue;
    seen = true;
    EXPECT_EQ(line["title"], "电脑PC01发现bug");
    EXPECT_EQ(line["body"], "错误信息：x\r\n");
    EXPECT_EQ(line["mubiao"], "a@b.c");
  }
  EXPECT_TRUE(seen);
}

TEST_F(SimulatorTest, JournalKeepsHeaderLinesAsTheyArrived) {
  Start();
  int sock = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(sim_->Port("vendor_list")));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  std::string request =
      "GET /list.txt HTTP/1.1\r\nzeta: 1\r\nHost: 127.0.0.1\r\nAlpha:  two \r\nrange: bytes=0-1\r\n"
      "Connection: close\r\n\r\n";
  ASSERT_EQ(::send(sock, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
  std::string answer;
  char buffer[4096];
  for (ssize_t n; (n = ::recv(sock, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, n);
  ::close(sock);
  EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;

  Json line;
  for (const auto& l : JournalLines()) {
    if (l.value("target", "") == "/list.txt") line = l;
  }
  ASSERT_FALSE(line.is_null());
  EXPECT_EQ(line["service"], "vendor_list");
  EXPECT_EQ(line["method"], "GET");
  EXPECT_EQ(line["headers"], Json::array({"zeta: 1", "Host: 127.0.0.1", "Alpha:  two ", "range: bytes=0-1",
                                          "Connection: close"}));
}

TEST_F(SimulatorTest, UpdateHostsQuoteAndSpeech) {
  SimOptions options;
  options.update_hosts_ok = {2};
  options.offered_version = "4.7";
  options.manifest_gbk = true;
  options.update_size = 30000;
  options.quote = "一句话";
  Start(options);
  for (int host : {1, 2, 3}) {
    auto res = Plain("update" + std::to_string(host))->Get("/test.txt");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body == "ok", host == 2) << host;
  }
  auto manifest = Plain("update2")->Get("/down_pelvaro/index.json");
  ASSERT_TRUE(manifest);
  Json m = Json::parse(GbkToUtf8(manifest->body));
  EXPECT_EQ(m["版本"], "4.7");
  EXPECT_EQ(m["文件名"], "pelvaro-collector-4.7");
  EXPECT_FALSE(m["更新说明"].get<std::string>().empty());
  std::string url = m["下载地址"];
  std::string prefix = "http://127.0.0.1:" + std::to_string(sim_->Port("update2"));
  ASSERT_EQ(url.rfind(prefix, 0), 0u);
  auto download = Plain("update2")->Get(url.substr(prefix.size()).c_str());
  ASSERT_TRUE(download);
  EXPECT_EQ(download->body.size(), 30000u);

  auto notice = Plain("update1")->Get("/gonggao.json");
  ASSERT_TRUE(notice);
  EXPECT_FALSE(Json::parse(GbkToUtf8(notice->body))["all"].get<std::string>().empty());

  httplib::SSLClient quote("127.0.0.1", sim_->Port("quote"));
  quote.enable_server_certificate_verification(false);
  auto q = quote.Get("/?encode=text");
  ASSERT_TRUE(q);
  EXPECT_EQ(q->body, "一句话");

  auto speech = Plain("speech")->Get("/gettts?lan=zh&text=%E4%BD%A0%E5%A5%BD&spd=5&source=web.mp3");
  ASSERT_TRUE(speech);
  ASSERT_GT(speech->body.size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>(speech->body[0]), 0xFF);
  EXPECT_EQ(speech->get_header_value("Content-Type"), "audio/mpeg");
}

TEST_F(SimulatorTest, FileFaults) {
  struct Case {
    const char* name;
    Faults faults;
    int status;
    bool complete;
  };
  Faults ignore;
  ignore.ignore_range = true;
  Faults drop;
  drop.drop_after = 1000;
  Faults longer;
  longer.length_delta = 50;
  Faults shorter;
  shorter.length_delta = -50;
  const Case cases[] = {
      {"ignore range", ignore, 200, true},
      {"drop", drop, 206, false},
      {"longer", longer, 206, false},
      {"shorter", shorter, 206, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.faults);
    auto client = Platform();
    auto res = client->Get("/bench/100000.mp4", {{"Range", "bytes=10-"}});
    std::uint64_t key = VideoContent::KeyForName("bench");
    if (c.complete) {
      ASSERT_TRUE(res);
      EXPECT_EQ(res->status, c.status);
      if (c.status == 200) {
        EXPECT_EQ(res->body, VideoContent::Bytes(key, 0, 100000));
      } else {
        EXPECT_EQ(res->body, VideoContent::Bytes(key, 10, 100000 - 10 - 50));
      }
    } else {
      EXPECT_FALSE(res) << "a cut answer is a failed transfer";
    }
    TearDown();
  }
}

TEST_F(SimulatorTest, NetworkFaultsHitTheFirstRequestsOfAFileOnly) {
  const std::uint64_t key = VideoContent::KeyForName("bench");
  {
    Start(Faults{.reset_every = 1,
                 .reset_after = 500,
                 .reset_first = 3,
                 .busy_every = 1,
                 .busy_first = 2,
                 .retry_after = 3});
    auto client = Platform();
    for (int i = 0; i < 2; ++i) {
      auto busy = client->Get("/bench/100000.mp4");
      ASSERT_TRUE(busy);
      EXPECT_EQ(busy->status, 503);
      EXPECT_EQ(busy->get_header_value("Retry-After"), "3");
    }
    EXPECT_FALSE(client->Get("/bench/100000.mp4")) << "the third request is reset";
    auto whole = Platform()->Get("/bench/100000.mp4");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->body, VideoContent::Bytes(key, 0, 100000));
    TearDown();
  }
  {
    // A changed file is another version, and a range of the old one gets the whole new file.
    Start(Faults{.change_every = 1, .change_after = 1});
    auto client = Platform();
    auto first = client->Get("/bench/100000.mp4", {{"Range", "bytes=0-99"}});
    ASSERT_TRUE(first);
    const std::string etag = first->get_header_value("ETag");
    EXPECT_EQ(first->status, 206);
    auto second = client->Get("/bench/100000.mp4", {{"Range", "bytes=100-199"}, {"If-Range", etag}});
    ASSERT_TRUE(second);
    EXPECT_EQ(second->status, 200);
    EXPECT_NE(second->get_header_value("ETag"), etag);
    EXPECT_NE(second->body.substr(0, 100), first->body);
    TearDown();
  }
  {
    Start(Faults{.stall_every = 1, .stall_after = 1000});
    auto client = Platform();
    client->set_read_timeout(1, 0);
    EXPECT_FALSE(client->Get("/bench/100000.mp4")) << "silent after 1000 bytes";
    TearDown();
  }
}

TEST_F(SimulatorTest, AnswerFaultsEveryNthRequest) {
  Start(Faults{.garbage_every = 2, .error_every = 3});
  std::vector<int> statuses;
  std::vector<bool> json;
  for (int i = 0; i < 6; ++i) {
    auto res = Platform()->Get("/home/q/getrelatedvideoall?docid=&count=50&s=&column=b");
    ASSERT_TRUE(res);
    statuses.push_back(res->status);
    json.push_back(Json::accept(res->body));
  }
  EXPECT_EQ(statuses, (std::vector<int>{200, 200, 503, 200, 200, 503}));
  // Garbage counts the JSON answers actually made: the 1st, 2nd, 4th, 5th requests.
  EXPECT_EQ(json, (std::vector<bool>{true, false, false, true, false, false}));
}

}  // namespace
}  // namespace pelvaro::sim

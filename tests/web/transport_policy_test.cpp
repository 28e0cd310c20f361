// What every transfer may do, whoever starts it: certificates and host names are checked,
// only http and https are spoken, https never falls back to http, and an answer held in memory
// is bounded in size and time. The same cases run through the request function, the request
// object and the downloader.

#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "sim/certificate.h"
#include "web/object_request.h"
#include "web/ranged_downloader.h"
#include "web/raw_http_server.h"
#include "web/transfer_limits.h"
#include "web/web_request.h"

namespace pelvaro {
namespace {

namespace fs = std::filesystem;
using testing::RawConnection;
using testing::RawHttpServer;
using testing::RawRequest;

// A throw-away self-signed certificate for one subject alternative name, as a PEM file too.
struct TestCertificate : sim::Certificate {
  explicit TestCertificate(const char* altName) : sim::Certificate(altName) {}
  void WritePem(const std::string& path) const { std::ofstream(path) << Pem(); }
};

// An HTTPS server on a free loopback port for the length of a test.
class TlsServer {
 public:
  explicit TlsServer(const TestCertificate& certificate) : server_(certificate.cert(), certificate.key()) {
    server_.Get("/file", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(std::string(3000, 'f'), "application/octet-stream");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~TlsServer() {
    server_.stop();
    thread_.join();
  }
  httplib::SSLServer& server() { return server_; }
  std::string Url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  httplib::SSLServer server_;
  int port_ = 0;
  std::thread thread_;
};

class TransportPolicyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "transport_policy_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    TransferLimits limits;
    limits.connect = std::chrono::milliseconds(2000);
    limits.noData = std::chrono::milliseconds(2000);
    limits.stall = std::chrono::milliseconds(3000);
    limits.attempts = 1;
    SetTransferLimits(limits);
  }
  void TearDown() override {
    unsetenv("PELVARO_CA_FILE");
    SetTransferLimits(TransferLimits());
    fs::remove_all(dir_);
  }

  // The downloader's outcome for a URL: empty when the file came, else the failure's text.
  std::string Download(const std::string& url) {
    const std::string path = (dir_ / ("d" + std::to_string(++downloads_) + ".bin")).string();
    DownloadFailure failure;
    DownloadExtras extras;
    extras.startFailure = &failure;
    RangedDownloader downloader;
    const int task = downloader.Download(url, Path(path), 2, nullptr, extras);
    if (task > 0 && downloader.WaitForEnd(task, std::chrono::minutes(1)) != DownloadOutcome::Finished) {
      failure = downloader.Progress(task).failure;
    }
    return GbkToUtf8(FailureText(failure));
  }

  fs::path dir_;
  int downloads_ = 0;
};

TEST_F(TransportPolicyTest, EveryHttpsTransferChecksTheCertificateAndTheHostName) {
  TestCertificate forThisHost("IP:127.0.0.1");
  TestCertificate forAnotherName("DNS:other.example");
  const std::string thisHostPem = (dir_ / "this.pem").string();
  const std::string otherNamePem = (dir_ / "other.pem").string();
  forThisHost.WritePem(thisHostPem);
  forAnotherName.WritePem(otherNamePem);
  struct Case {
    const char* name;
    const TestCertificate& served;
    const char* trusted;  // PELVARO_CA_FILE; null: only the system's authorities
    bool accepted;
  };
  const Case cases[] = {
      {"nobody vouches for it", forThisHost, nullptr, false},
      {"added authority", forThisHost, thisHostPem.c_str(), true},
      {"trusted, for another name", forAnotherName, otherNamePem.c_str(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.trusted != nullptr) {
      setenv("PELVARO_CA_FILE", c.trusted, 1);
    } else {
      unsetenv("PELVARO_CA_FILE");
    }
    TlsServer server(c.served);
    WebRequestOptions options;
    WebResult result;
    const Text page = WebRequest(server.Url("/file"), options, result);
    ObjectRequestOptions objectOptions;
    ObjectRequestResult objectResult;
    const std::string bytes = ObjectWebRequest(server.Url("/file"), objectOptions, objectResult);
    const std::string downloaded = Download(server.Url("/file"));
    if (c.accepted) {
      EXPECT_EQ(page, std::string(3000, 'f'));
      EXPECT_EQ(result.status, "200 OK");
      EXPECT_EQ(bytes.size(), 3000u);
      EXPECT_EQ(downloaded, "");
    } else {
      EXPECT_EQ(page, "");
      EXPECT_EQ(GbkToUtf8(result.status), "证书不受信任：127.0.0.1");
      EXPECT_EQ(bytes, "");
      EXPECT_EQ(objectResult.statusCode, 0);
      EXPECT_EQ(downloaded, "证书不受信任：127.0.0.1");
    }
  }
}

TEST_F(TransportPolicyTest, OnlyHttpAndHttpsAreSpokenAndHttpsNeverFallsBackToHttp) {
  RawHttpServer listener([](const RawRequest&, RawConnection& connection) { connection.Send("x"); });
  const std::string port = std::to_string(listener.port());
  for (const std::string scheme : {"gopher://", "dict://", "telnet://", "ftp://", "smtp://", "file://"}) {
    const std::string url = scheme + (scheme == "file://" ? "" : "127.0.0.1:" + port) + "/x.mp4";
    EXPECT_EQ(Download(url), "不允许的协议或重定向") << url;
    WebRequestOptions options;
    WebResult result;
    EXPECT_EQ(WebRequest(url, options, result), "") << url;
    EXPECT_EQ(ObjectWebRequest(url), "") << url;
  }
  EXPECT_EQ(listener.connections(), 0);

  // An https answer that redirects to plain http is not followed; to https it is.
  RawHttpServer plain([](const RawRequest&, RawConnection& connection) {
    connection.Send(RawHttpServer::Response("200 OK", "plain"));
  });
  TestCertificate certificate("IP:127.0.0.1");
  certificate.WritePem((dir_ / "ca.pem").string());
  setenv("PELVARO_CA_FILE", (dir_ / "ca.pem").c_str(), 1);
  TlsServer secure(certificate);
  const std::string plainUrl = plain.Url("/file");
  const std::string secureUrl = secure.Url("/file");
  secure.server().Get("/to-http", [plainUrl](const httplib::Request&, httplib::Response& response) {
    response.set_redirect(plainUrl);
  });
  secure.server().Get("/to-https", [secureUrl](const httplib::Request&, httplib::Response& response) {
    response.set_redirect(secureUrl);
  });
  WebRequestOptions options;
  WebResult result;
  EXPECT_EQ(WebRequest(secure.Url("/to-http"), options, result), "");
  EXPECT_EQ(GbkToUtf8(result.status), "716 重定向被拒绝!");
  EXPECT_EQ(ObjectWebRequest(secure.Url("/to-http")), "");
  EXPECT_EQ(Download(secure.Url("/to-http")), "不允许的协议或重定向");
  EXPECT_TRUE(plain.requests().empty());
  EXPECT_EQ(WebRequest(secure.Url("/to-https")), std::string(3000, 'f'));
  EXPECT_EQ(Download(secure.Url("/to-https")), "");
}

TEST_F(TransportPolicyTest, AnAnswerHeldInMemoryIsBoundedInSizeAndTime) {
  TransferLimits limits = CurrentTransferLimits();
  limits.answerBytes = 64 * 1024;
  limits.answerDeadline = std::chrono::milliseconds(600);
  SetTransferLimits(limits);
  // Within the limit, at the limit, beyond it; and one that drips a byte every 50 ms.
  RawHttpServer server([](const RawRequest& request, RawConnection& connection) {
    if (request.Path() == "/drip") {
      connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
      for (int i = 0; i < 400 && connection.Send("x"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return;
    }
    const std::size_t size = request.Path() == "/big" ? 100 * 1024 : 1000;
    connection.Send(RawHttpServer::Response("200 OK", std::string(size, 'b')));
  });
  WebRequestOptions options;
  WebResult result;
  EXPECT_EQ(WebRequest(server.Url("/small"), options, result).size(), 1000u);
  EXPECT_EQ(WebRequest(server.Url("/big"), options, result), "");
  EXPECT_EQ(GbkToUtf8(result.status), "714 数据超过大小上限!");
  EXPECT_EQ(result.body, std::string(1000, 'b')) << "nothing of the refused answer is kept";
  EXPECT_EQ(ObjectWebRequest(server.Url("/big")), "");
  EXPECT_EQ(WebRequest(server.Url("/drip"), options, result), "");
  EXPECT_EQ(GbkToUtf8(result.status), "715 请求超过总时限!");
  EXPECT_EQ(ObjectWebRequest(server.Url("/drip")), "");
}

}  // namespace
}  // namespace pelvaro

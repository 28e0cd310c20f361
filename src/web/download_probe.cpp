#include "web/download_probe.h"

#include <curl/curl.h>

#include <memory>

#include "web/curl_global.h"

namespace pelvaro {
namespace {

struct ProbeState {
  ResponseHead head;
  bool headComplete = false;
  std::stop_token stop;
};

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<ProbeState*>(user)->stop.stop_requested() ? 1 : 0;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<ProbeState*>(user);
  std::string_view line(data, size * count);
  state->head.Feed(line);
  // The blank line ends one head; a redirect or interim response may still follow.
  state->headComplete = (line == "\r\n" || line == "\n");
  return size * count;
}

// The body is not wanted: refusing its first bytes ends the transfer.
size_t OnBody(char*, size_t, size_t, void*) { return 0; }

}  // namespace

const std::vector<std::string>& DownloadHeaderLines() {
  static const std::vector<std::string> lines = {
      "Accept: */*",
      "Accept-Language: zh-cn",
      "Accept-Encoding: gzip, deflate",
      "User-Agent: Mozilla/4.0(compatible; MSIE 6.0; Windows NT 5.0; MyIE2; .NET CLR 1.1.4322)",
  };
  return lines;
}

std::optional<ResponseHead> FetchResponseHead(const std::string& url, const HeadProbe& probe) {
  EnsureCurlInitialised();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
  if (!easy) return std::nullopt;
  curl_slist* list = nullptr;
  for (const auto& line : probe.headerLines) list = curl_slist_append(list, line.c_str());
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(list, &curl_slist_free_all);

  ProbeState state;
  state.stop = probe.stop;
  CURL* handle = easy.get();
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  TrustConfiguredCertificates(handle);
  curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  if (!probe.userAgent.empty()) curl_easy_setopt(handle, CURLOPT_USERAGENT, probe.userAgent.c_str());
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, probe.followRedirects ? 1L : 0L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &state);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, 60L);
  CURLcode result = curl_easy_perform(handle);
  if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && state.headComplete)) return std::nullopt;
  if (state.head.Status() == 0) return std::nullopt;
  return state.head;
}

}  // namespace pelvaro

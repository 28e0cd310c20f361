#include "collector/platform_api.h"

#include "collector/text_between.h"
#include "platform/hosts.h"
#include "toolkit/encoding.h"
#include "web/web_request.h"

namespace pelvaro {
namespace {

Text PlatformBase() { return "https://" + HostAddress(Host::PlatformWeb); }

Text Get(const Text& url) {
  WebRequestOptions options;
  WebResult result;
  return WebRequest(url, options, result);
}

}  // namespace

Text RelatedVideosUrl(const Text& docid) {
  return PlatformBase() + "/home/q/getrelatedvideoall?docid=" + UrlComponentId(docid) +
         "&count=50&s=&column=b";
}

Text ArticleLink(const Text& docid) {
  return PlatformBase() + "/article/" + UrlComponentId(docid) + "?title_sn=0";
}

Text FetchRelatedVideos(const Text& docid) { return AskRelatedVideos(docid).text; }

RelatedVideosAnswer AskRelatedVideos(const Text& docid) {
  WebRequestOptions options;
  WebResult result;
  RelatedVideosAnswer answer;
  const std::string body = WebRequest(RelatedVideosUrl(docid), options, result);
  answer.utf8 = body.substr(0, body.find('\0'));
  answer.text = Utf8ToGbkText(answer.utf8);
  // A response has its header block; its status line's first word is the status code.
  const bool responded = !result.responseHeaders.empty();
  answer.answered = responded && result.reason.empty() && result.status.starts_with('2');
  if (!answer.answered) {
    // A transport failure has its plain reason; a response, its status; anything else (an
    // address that cannot be used) the request's own message.
    answer.failure = !result.reason.empty() ? result.reason
                     : responded            ? "HTTP " + result.status.substr(0, result.status.find(' '))
                                            : result.status;
  }
  return answer;
}

Text FetchArticlePage(const Text& docid) { return Get(ArticleLink(docid)); }

Text ArticleTitle(const Text& page) { return RemoveBlanks(TextBetween(page, "<h2>", "</h2>")); }

PageTitle ArticlePageTitle(const std::string& page) {
  PageTitle title;
  title.gbk = ArticleTitle(page);
  title.utf8 = GbkToUtf8(title.gbk);
  return title;
}

}  // namespace pelvaro

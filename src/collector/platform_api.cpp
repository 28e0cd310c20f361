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

Text FetchRelatedVideos(const Text& docid) { return Utf8ToGbkText(Get(RelatedVideosUrl(docid))); }

Text FetchArticlePage(const Text& docid) { return Get(ArticleLink(docid)); }

Text ArticleTitle(const Text& page) { return RemoveBlanks(TextBetween(page, "<h2>", "</h2>")); }

}  // namespace pelvaro

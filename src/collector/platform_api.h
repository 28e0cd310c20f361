#pragma once
// Every request the collector sends to the platform: the related-videos interface and the
// article page. Both are plain GETs with every request option at its default. Video files go
// through the downloader (see video_downloads.h) by the url an answer gives.

#include "platform/text.h"

namespace pelvaro {

// "https://" + platform host + "/home/q/getrelatedvideoall?docid=" + docid + "&count=50&s=&column=b".
// The docid may be empty; one that is not a plain id is percent-encoded (UrlComponentId).
Text RelatedVideosUrl(const Text& docid);

// The article page of a docid: "https://" + platform host + "/article/" + docid + "?title_sn=0",
// the docid encoded as above.
Text ArticleLink(const Text& docid);

// The related-videos answer as GBK text (the platform answers UTF-8); empty when the request
// fails.
Text FetchRelatedVideos(const Text& docid);

struct RelatedVideosAnswer {
  Text text;              // as FetchRelatedVideos gives it
  std::string utf8;       // the same answer as it came, every character kept
  bool answered = false;  // a successful (2xx) response came
  Text failure;           // when not answered, why: "连接被拒绝", "HTTP 503", ...
};
// The same request, with whether and why not the platform answered.
RelatedVideosAnswer AskRelatedVideos(const Text& docid);

// The article page as the request function returns it; empty when the request fails.
Text FetchArticlePage(const Text& docid);

// The title of an article page: the text between the first "<h2>" and the next "</h2>", every
// ASCII and full-width space removed.
Text ArticleTitle(const Text& page);

// The same title as a GBK text and in UTF-8. The page comes as WebRequest gives it, decoded to
// GBK by its charset, so a title from the page keeps only what GBK holds.
struct PageTitle {
  Text gbk;
  std::string utf8;
};
PageTitle ArticlePageTitle(const std::string& page);

}  // namespace pelvaro

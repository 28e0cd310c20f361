#include "collector/collection_service.h"

#include "platform/hosts.h"
#include "toolkit/encoding.h"
#include "web/web_request.h"

namespace pelvaro {

namespace {
constexpr int kCollectionServicePort = 8899;
}

Text CollectionServiceUrl(const Text& category, const Text& id, const Text& del) {
  return "http://" + HostWithPort(Host::VendorApi, kCollectionServicePort) +
         "/pelvaro?leimu=" + PercentEncode(category) + "&id=" + UrlComponentId(id) +
         "&del=" + UrlComponentId(del);
}

Text QueryCollectionService(const Text& category, const Text& id, const Text& del) {
  WebRequestOptions options;
  options.method = 0;
  options.extraHeaders = SignLine();
  WebResult result;
  return WebRequest(CollectionServiceUrl(category, id, del), options, result);
}

}  // namespace pelvaro

#pragma once
// The client of the vendor's collection service: one signed GET for seeds, the category list,
// and reports of downloaded or contributed videos.

#include "platform/text.h"

namespace pelvaro {

// "http://" + vendor host (port 8899 unless the host names one) + "/pelvaro?leimu=" + every GBK
// byte of the category as "%XX" + "&id=" + id + "&del=" + del, each id as it is when plain and
// percent-encoded otherwise (UrlComponentId).
Text CollectionServiceUrl(const Text& category, const Text& id, const Text& del);

// Sends the request with the signature line as its one extra header and returns the reply body
// as GBK text; empty when the service cannot be reached. The status is not looked at.
Text QueryCollectionService(const Text& category, const Text& id = {}, const Text& del = {});

}  // namespace pelvaro

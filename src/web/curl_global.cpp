#include "web/curl_global.h"

#include <curl/curl.h>

#include <cstdlib>
#include <mutex>

namespace pelvaro {

void EnsureCurlInitialised() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

void TrustConfiguredCertificates(void* easy) {
  const char* file = std::getenv("PELVARO_CA_FILE");
  if (file != nullptr && *file != '\0') curl_easy_setopt(static_cast<CURL*>(easy), CURLOPT_CAINFO, file);
}

}  // namespace pelvaro

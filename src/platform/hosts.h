#pragma once
// The addresses of the platform and the vendor's services. Each is a build-time default
// (a CMake cache variable of the same name) that an environment variable replaces at run time.

#include <string>

namespace pelvaro {

enum class Host {
  PlatformWeb,    // PELVARO_PLATFORM_WEB_HOST, HTTPS
  VendorApi,      // PELVARO_VENDOR_API_HOST, port 8899 unless the value names one
  VendorList,     // PELVARO_VENDOR_LIST_HOST
  Update1,        // PELVARO_UPDATE_HOST1
  Update2,        // PELVARO_UPDATE_HOST2
  Update3,        // PELVARO_UPDATE_HOST3
  QuoteService,   // PELVARO_QUOTE_SERVICE_HOST, HTTPS
  SpeechService,  // PELVARO_SPEECH_SERVICE_HOST
};

// "host" or "host:port", as configured.
std::string HostAddress(Host host);

// The address with a port: the configured one, or defaultPort when it names none.
std::string HostWithPort(Host host, int defaultPort);

}  // namespace pelvaro

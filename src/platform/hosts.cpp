#include "platform/hosts.h"

#include <cstdlib>

namespace pelvaro {
namespace {

struct HostEntry {
  const char* variable;
  const char* fallback;
};

HostEntry EntryFor(Host host) {
  switch (host) {
    case Host::PlatformWeb: return {"PELVARO_PLATFORM_WEB_HOST", PELVARO_DEFAULT_PLATFORM_WEB_HOST};
    case Host::VendorApi: return {"PELVARO_VENDOR_API_HOST", PELVARO_DEFAULT_VENDOR_API_HOST};
    case Host::VendorList: return {"PELVARO_VENDOR_LIST_HOST", PELVARO_DEFAULT_VENDOR_LIST_HOST};
    case Host::Update1: return {"PELVARO_UPDATE_HOST1", PELVARO_DEFAULT_UPDATE_HOST1};
    case Host::Update2: return {"PELVARO_UPDATE_HOST2", PELVARO_DEFAULT_UPDATE_HOST2};
    case Host::Update3: return {"PELVARO_UPDATE_HOST3", PELVARO_DEFAULT_UPDATE_HOST3};
    case Host::QuoteService: return {"PELVARO_QUOTE_SERVICE_HOST", PELVARO_DEFAULT_QUOTE_SERVICE_HOST};
    case Host::SpeechService: return {"PELVARO_SPEECH_SERVICE_HOST", PELVARO_DEFAULT_SPEECH_SERVICE_HOST};
  }
  return {"", ""};
}

bool NamesPort(const std::string& address) {
  // "[::1]:80" and "host:80" name a port; a bare "[::1]" does not.
  auto colon = address.rfind(':');
  if (colon == std::string::npos) return false;
  auto bracket = address.rfind(']');
  return bracket == std::string::npos || colon > bracket;
}

}  // namespace

std::string HostAddress(Host host) {
  HostEntry entry = EntryFor(host);
  const char* value = std::getenv(entry.variable);
  return value != nullptr && *value != '\0' ? value : entry.fallback;
}

std::string HostWithPort(Host host, int defaultPort) {
  std::string address = HostAddress(host);
  if (NamesPort(address)) return address;
  return address + ":" + std::to_string(defaultPort);
}

}  // namespace pelvaro

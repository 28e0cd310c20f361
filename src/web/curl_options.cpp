#include "web/curl_options.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <strings.h>
#include <sys/stat.h>

#include <array>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>

#include "web/header_block.h"

namespace pelvaro {
namespace {

constexpr std::array<const char*, 8> kVerbs = {"GET",     "POST",   "HEAD",  "PUT",
                                               "OPTIONS", "DELETE", "TRACE", "CONNECT"};

std::string EscapeUrl(const Text& url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : GbkToUtf8(url)) {
    if (c <= 0x20 || c >= 0x7F) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

bool PartIs(CURLU* url, CURLUPart part, bool (*test)(std::string_view)) {
  char* value = nullptr;
  if (curl_url_get(url, part, &value, 0) != CURLUE_OK) return false;
  bool ok = test(value);
  curl_free(value);
  return ok;
}

const char* ConfiguredAuthorityFile() {
  const char* file = std::getenv("PELVARO_CA_FILE");
  return file != nullptr && *file != '\0' ? file : nullptr;
}

// The system's authorities plus those of the configured file, loaded once per version of the
// file and shared by every TLS connection (a store is reference-counted and safe to share).
X509_STORE* SharedAuthorities(const char* file) {
  static std::mutex mutex;
  static std::string loadedFrom;
  static X509_STORE* store = nullptr;
  struct stat st {};
  const std::string version = ::stat(file, &st) != 0
                                  ? std::string(file)
                                  : std::string(file) + "@" + std::to_string(st.st_ino) + ":" +
                                        std::to_string(st.st_size) + ":" +
                                        std::to_string(st.st_mtim.tv_nsec + st.st_mtime * 1000000000LL);
  std::lock_guard lock(mutex);
  if (store == nullptr || loadedFrom != version) {
    X509_STORE* fresh = X509_STORE_new();
    if (fresh == nullptr) return nullptr;
    X509_STORE_set_default_paths(fresh);
    // As libcurl sets its own stores: an authority of the file may be an intermediate.
    X509_STORE_set_flags(fresh, X509_V_FLAG_PARTIAL_CHAIN | X509_V_FLAG_TRUSTED_FIRST);
    // A file that cannot be read adds nothing; the system's authorities stay.
    X509_STORE_load_file(fresh, file);
    // What the loading left in the error queue is not the connection's own.
    ERR_clear_error();
    X509_STORE_free(store);
    store = fresh;
    loadedFrom = version;
  }
  X509_STORE_up_ref(store);
  return store;
}

// Gives the connection the shared store: the file adds trust, it never replaces the system's.
CURLcode UseSharedAuthorities(CURL*, void* context, void*) {
  const char* file = ConfiguredAuthorityFile();
  if (file == nullptr) return CURLE_OK;
  if (X509_STORE* store = SharedAuthorities(file)) {
    SSL_CTX_set_cert_store(static_cast<SSL_CTX*>(context), store);  // takes over our reference
  }
  return CURLE_OK;
}

}  // namespace

bool TransportAvailable() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  if (info == nullptr || info->protocols == nullptr) return false;
  for (const char* const* protocol = info->protocols; *protocol != nullptr; ++protocol) {
    if (std::string_view(*protocol) == "http") return true;
  }
  return false;
}

UrlHandle SplitWebUrl(const Text& url) {
  UrlHandle handle(curl_url());
  if (!handle ||
      curl_url_set(handle.get(), CURLUPART_URL, EscapeUrl(url).c_str(), CURLU_PATH_AS_IS) != CURLUE_OK ||
      !PartIs(handle.get(), CURLUPART_SCHEME,
              [](std::string_view s) { return s == "http" || s == "https"; }) ||
      !PartIs(handle.get(), CURLUPART_HOST, [](std::string_view s) { return !s.empty(); })) {
    return nullptr;
  }
  curl_url_set(handle.get(), CURLUPART_USER, nullptr, 0);
  curl_url_set(handle.get(), CURLUPART_PASSWORD, nullptr, 0);
  curl_url_set(handle.get(), CURLUPART_FRAGMENT, nullptr, 0);
  return handle;
}

bool SetTarget(CURL* easy, CURLU* target) {
  return curl_easy_setopt(easy, CURLOPT_CURLU, target) == CURLE_OK &&
         ApplyTransportPolicy(
             easy, PartIs(target, CURLUPART_SCHEME, [](std::string_view s) { return s == "https"; })) &&
         Set(easy, CURLOPT_PATH_AS_IS, 1L) && Set(easy, CURLOPT_NOSIGNAL, 1L);
}

bool SetProxy(CURL* easy, const Text& proxy) {
  std::string address = proxy.empty() || proxy.find("://") != Text::npos ? proxy : "http://" + proxy;
  // An empty no-proxy list keeps the environment from exempting hosts.
  return Set(easy, CURLOPT_PROXY, address) && Set(easy, CURLOPT_NOPROXY, "") &&
         Set(easy, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP)) &&
         Set(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
}

int VerbIndex(int method) { return method >= 0 && method < static_cast<int>(kVerbs.size()) ? method : 0; }

bool SetVerb(CURL* easy, int method, const std::string& body) {
  method = VerbIndex(method);
  const bool bodySent = !body.empty() || method == 1 || method == 3;
  bool ok = Set(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  if (method == 2) return ok && Set(easy, CURLOPT_NOBODY, 1L);
  if (bodySent) {
    ok = ok &&
         curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size())) ==
             CURLE_OK &&
         Set(easy, CURLOPT_POSTFIELDS, body.data());
  } else {
    ok = ok && Set(easy, CURLOPT_HTTPGET, 1L);
  }
  // POST keeps libcurl's own verb so that a 301, 302 or 303 turns it into a GET as browsers
  // do; a custom verb would be repeated on every redirect.
  if (method != 1 && (method != 0 || bodySent)) ok = ok && Set(easy, CURLOPT_CUSTOMREQUEST, kVerbs[method]);
  return ok;
}

bool IsHttpsUrl(std::string_view url) {
  while (!url.empty() && static_cast<unsigned char>(url.front()) <= ' ') url.remove_prefix(1);
  return url.size() >= 8 && strncasecmp(url.data(), "https://", 8) == 0;
}

bool ApplyTransportPolicy(CURL* easy, bool secure) {
  bool ok = Set(easy, CURLOPT_PROTOCOLS_STR, "http,https") &&
            Set(easy, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https") &&
            Set(easy, CURLOPT_SSL_VERIFYPEER, 1L) && Set(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (ok && ConfiguredAuthorityFile() != nullptr) {
    // libcurl itself then loads only the small file (not the system's whole bundle for every
    // connection); the hook replaces that store with the shared one. A TLS library without
    // the hook keeps the file as the only trusted authority.
    ok = Set(easy, CURLOPT_CAINFO, ConfiguredAuthorityFile());
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &UseSharedAuthorities);
  }
  return ok;
}

bool ApplyTransportPolicy(CURL* easy, std::string_view url) {
  return ApplyTransportPolicy(easy, IsHttpsUrl(url));
}

std::string EffectiveHost(CURL* easy) {
  char* url = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || url == nullptr) return {};
  UrlHandle handle(curl_url());
  char* host = nullptr;
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url, 0) != CURLUE_OK ||
      curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
    return {};
  }
  std::string result = host;
  curl_free(host);
  return result;
}

bool SuppressTransportHeaders(CurlHeaderList& headers) {
  return headers.SuppressUnlessPresent("Accept") && headers.SuppressUnlessPresent("Content-Type") &&
         headers.SuppressUnlessPresent("Expect") && headers.SuppressUnlessPresent("Proxy-Connection");
}

bool SetDownloadOptions(CURL* easy, const std::string& url, curl_slist* headers, bool followRedirects,
                        std::chrono::milliseconds connectLimit) {
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  if (!ApplyTransportPolicy(easy, url)) return false;
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectLimit.count()));
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  return true;
}

}  // namespace pelvaro

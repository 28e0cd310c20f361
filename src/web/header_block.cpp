#include "web/header_block.h"

#include <curl/curl.h>

#include <array>

#include "web/text_search.h"
#include "web/web_request_options.h"

namespace pelvaro {
namespace {

struct DefaultHeader {
  std::string_view lookedFor;
  std::string_view line;
  bool postOnly;
};

constexpr std::array<DefaultHeader, 6> kDefaultHeaders = {{
    {"User-Agent: ", "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n",
     false},
    {"Accept: ", "Accept: text/html, application/xhtml+xml, */*\r\n", false},
    {"Accept-Encoding: ", "Accept-Encoding: gbk, GB2312\r\n", false},
    {"Accept-Language: ", "Accept-Language: zh-cn\r\n", false},
    {"Content-Type:", "Content-Type: application/x-www-form-urlencoded\r\n", true},
    {"Cache-Control: ", "Cache-Control: no-cache\r\n", false},
}};

// A persistent connection is what the transport does anyway; an explicit keep-alive line that
// the caller put first goes, other Connection values stay.
void DropKeepAlive(Text& block) {
  if (block.find("Connection") == Text::npos) return;
  for (std::string_view line : SplitAll(block, kCrLf)) {
    if (!line.starts_with("Connection")) continue;
    std::size_t at = line.find("Connection: ");
    std::string_view value = at == std::string_view::npos ? std::string_view() : line.substr(at + 12);
    if (value == "keep-alive") block = RemoveAll(block, "Connection: keep-alive\r\n", false);
    return;
  }
}

std::string_view HeaderName(std::string_view line) {
  std::size_t colon = line.find(':');
  std::string_view name = line.substr(0, colon);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return name;
}

}  // namespace

Text NormalizeHeaderNames(std::string_view block) {
  Text out;
  bool first = true;
  for (std::string_view line : SplitAll(block, kCrLf)) {
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    if (!first) out.append(kCrLf);
    first = false;
    bool pieceStart = true;
    for (char c : line.substr(0, colon)) {
      if (pieceStart && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      pieceStart = c == '-';
      out.push_back(c);
    }
    out.append(line.substr(colon));
  }
  return out;
}

Text BuildRequestHeaderBlock(const WebRequestOptions& options) {
  Text block = options.extraHeaders;
  if (!block.empty()) block.append(kCrLf);
  if (options.completeHeaders) {
    for (const DefaultHeader& header : kDefaultHeaders) {
      if (header.postOnly && options.method != 1) continue;
      if (!ContainsNoCase(block, header.lookedFor)) block.append(header.line);
    }
  }
  if (options.normalizeHeaderNames) block = NormalizeHeaderNames(block);
  DropKeepAlive(block);
  if (!options.cookies.empty() && !ContainsNoCase(block, "Cookie:")) {
    block.append(ContainsNoCase(options.cookies, "Cookie:") ? "\r\n" : "\r\nCookie: ");
    block.append(options.cookies);
    block.append(kCrLf);
  }
  return block;
}

CurlHeaderList::~CurlHeaderList() { curl_slist_free_all(list_); }

bool CurlHeaderList::Append(std::string_view line) {
  curl_slist* grown = curl_slist_append(list_, std::string(line).c_str());
  if (grown == nullptr) return false;
  list_ = grown;
  return true;
}

bool CurlHeaderList::AppendBlock(std::string_view block) {
  for (std::string_view line : SplitAll(block, kCrLf)) {
    if (line.empty()) continue;
    if (line.find_first_of("\r\n") != std::string_view::npos || line.find('\0') != std::string_view::npos) {
      return false;
    }
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || HeaderName(line).empty()) return false;
    std::string_view value = line.substr(colon + 1);
    bool emptyValue = value.find_first_not_of(" \t") == std::string_view::npos;
    // libcurl sends "Name;" as the empty header "Name:".
    if (!(emptyValue ? Append(Text(line.substr(0, colon)) + ";") : Append(line))) return false;
  }
  return true;
}

bool CurlHeaderList::SuppressUnlessPresent(std::string_view name) {
  return Has(name) || Append(Text(name) + ":");
}

bool CurlHeaderList::Has(std::string_view name) const {
  for (const curl_slist* item = list_; item != nullptr; item = item->next) {
    std::string_view line = item->data;
    std::size_t end = line.find_first_of(":;");
    if (end != std::string_view::npos && EqualsNoCase(HeaderName(line.substr(0, end)), name)) return true;
  }
  return false;
}

}  // namespace pelvaro

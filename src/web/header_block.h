#pragma once
// The request header block: the caller's lines, the defaults they lack, capitalised names, and
// its translation into the exact header list handed to libcurl.

#include <string_view>

#include "platform/text.h"

struct curl_slist;

namespace pelvaro {

struct WebRequestOptions;

// Rewrites each "name: value" line with every "-"-separated piece of the name starting with an
// upper-case ASCII letter; lines without ":" are dropped; no CR LF after the last line.
Text NormalizeHeaderNames(std::string_view block);

// The complete header block a request sends: the caller's lines, the defaults the block lacks,
// optional name normalisation, the keep-alive rule and the Cookie line.
Text BuildRequestHeaderBlock(const WebRequestOptions& options);

// Owns a libcurl header list.
class CurlHeaderList {
 public:
  CurlHeaderList() = default;
  ~CurlHeaderList();
  CurlHeaderList(const CurlHeaderList&) = delete;
  CurlHeaderList& operator=(const CurlHeaderList&) = delete;

  // Appends "Name: value" exactly as given; false when libcurl runs out of memory.
  bool Append(std::string_view line);
  // Appends every non-empty CR LF line of block. An empty value is kept as an empty header
  // (libcurl would read "Name:" as "do not send"). False, with nothing sure to be sent, when a
  // line has no name, no ":", or a lone CR or LF that could smuggle a further header.
  bool AppendBlock(std::string_view block);
  // Tells libcurl not to send its own header of this name unless the list already carries one.
  bool SuppressUnlessPresent(std::string_view name);
  bool Has(std::string_view name) const;
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

}  // namespace pelvaro

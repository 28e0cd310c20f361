#include "collector/docid_claim.h"

#include <charconv>

#include "platform/data_folder.h"
#include "platform/files.h"
#include "platform/safe_name.h"

namespace pelvaro {
namespace {

constexpr std::string_view kRecordHeader = "pelvaro-finished 2\n";
// Records of earlier versions held the path as a GBK text.
constexpr std::string_view kGbkRecordHeader = "pelvaro-finished 1\n";

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 0x0F]);
  }
  return out;
}

std::optional<std::string> Unhex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    if (std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16).ptr != hex.data() + i + 2)
      return std::nullopt;
    out.push_back(static_cast<char>(value));
  }
  return out;
}

// The value of the line "key VALUE" in a record.
std::optional<std::string_view> Field(std::string_view record, std::string_view key) {
  for (std::size_t at = 0; at < record.size();) {
    std::size_t end = record.find('\n', at);
    if (end == std::string_view::npos) end = record.size();
    std::string_view line = record.substr(at, end - at);
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == ' ') {
      return line.substr(key.size() + 1);
    }
    at = end + 1;
  }
  return std::nullopt;
}

}  // namespace

Path ClaimFolder() { return JoinPath(DataFolder(), "claims"); }

Path ClaimPath(const Text& docid) { return JoinPath(ClaimFolder(), SafeNameOfGbk(docid, 0)); }

std::shared_ptr<ClaimFile> ClaimDocid(const Text& docid, ClaimFile::Outcome* outcome) {
  CreateFolders(ClaimFolder());
  std::optional<ClaimFile> claim = ClaimFile::Take(ClaimPath(docid), outcome);
  if (!claim) return nullptr;
  return std::make_shared<ClaimFile>(std::move(*claim));
}

bool DocidClaimedElsewhere(const Text& docid) { return ClaimFile::HeldElsewhere(ClaimPath(docid)); }

std::string FinishedRecord(const FinishedFile& file) {
  return std::string(kRecordHeader) + "size " + std::to_string(file.size) + "\ndocid " + Hex(file.docid) +
         "\npath " + Hex(file.path.bytes()) + "\n";
}

std::optional<FinishedFile> ParseFinishedRecord(std::string_view record) {
  const bool gbkPath = record.starts_with(kGbkRecordHeader);
  if (!gbkPath && !record.starts_with(kRecordHeader)) return std::nullopt;
  auto size = Field(record, "size");
  auto docid = Field(record, "docid");
  auto path = Field(record, "path");
  if (!size || !docid || !path) return std::nullopt;
  FinishedFile file;
  if (std::from_chars(size->data(), size->data() + size->size(), file.size).ptr !=
      size->data() + size->size()) {
    return std::nullopt;
  }
  auto docidBytes = Unhex(*docid);
  auto pathBytes = Unhex(*path);
  if (!docidBytes || !pathBytes || pathBytes->empty()) return std::nullopt;
  file.docid = *docidBytes;
  file.path = gbkPath ? PathFromGbk(*pathBytes) : Path(std::move(*pathBytes));
  return file;
}

}  // namespace pelvaro

#include "collector/catalogue_csv.h"

#include "collector/catalogue.h"
#include "platform/files.h"

namespace pelvaro {

namespace {
constexpr std::string_view kColumns[] = {"docid",      "title", "category", "published",
                                         "duration_s", "width", "height",   "size_bytes",
                                         "url",        "path",  "taken_at"};
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
}  // namespace

std::string CsvField(std::string_view value) {
  if (value.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(value);
  std::string quoted = "\"";
  for (const char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

bool CatalogueCsv(Catalogue& catalogue, std::string* csv) {
  std::string text(kByteOrderMark);
  std::string select = "SELECT ";
  for (std::size_t i = 0; i < std::size(kColumns); ++i) {
    if (i > 0) {
      text += ',';
      select += ", ";
    }
    text += kColumns[i];
    select += kColumns[i];
  }
  text += "\r\n";
  select += " FROM videos ORDER BY taken_at, docid";
  const bool ok = catalogue.read(select, [&text](const SqliteStatement& row) {
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
      if (i > 0) text += ',';
      text += CsvField(row.text(i));
    }
    text += "\r\n";
  });
  if (ok) *csv = std::move(text);
  return ok;
}

bool ExportCatalogueCsv(Catalogue& catalogue, const Text& path) {
  std::string csv;
  return CatalogueCsv(catalogue, &csv) && WriteFileAtomically(path, csv);
}

}  // namespace pelvaro

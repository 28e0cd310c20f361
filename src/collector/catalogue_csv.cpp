#include "collector/catalogue_csv.h"

#include "collector/catalogue.h"
#include "collector/catalogue_columns.h"
#include "platform/files.h"
#include "platform/printable_text.h"

namespace pelvaro {

namespace {
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
}  // namespace

std::string CsvField(std::string_view value) {
  // A spreadsheet runs a cell that begins like a formula (=, +, -, @, or a tab or CR before
  // one); a leading "'" makes it text. The raw value is looked at too: its tab or CR is
  // stripped below, but what follows was meant to be read as a formula.
  const auto formulaStart = [](std::string_view text) {
    return !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
  };
  std::string field = StripControls(value);
  if (formulaStart(value) || formulaStart(field)) field.insert(0, 1, '\'');
  if (field.find_first_of(",\"") == std::string::npos) return field;
  std::string quoted = "\"";
  for (const char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

bool CatalogueCsv(CatalogueBackend& catalogue, std::string* csv) {
  std::string text(kByteOrderMark);
  for (const VideoColumn& column : kVideoColumns) {
    if (&column != kVideoColumns) text += ',';
    text += column.name;
  }
  text += "\r\n";
  const std::string select = "SELECT " + VideoColumnList() + " FROM videos ORDER BY taken_at, docid";
  const bool ok = catalogue.readCells(select, [&text](const CatalogueCells& row) {
    for (int i = 0; i < static_cast<int>(std::size(kVideoColumns)); ++i) {
      if (i > 0) text += ',';
      text += CsvField(row.text(i));
    }
    text += "\r\n";
  });
  if (ok) *csv = std::move(text);
  return ok;
}

bool ExportCatalogueCsv(CatalogueBackend& catalogue, const Text& path) {
  std::string csv;
  return CatalogueCsv(catalogue, &csv) && WriteFileAtomically(path, csv);
}

}  // namespace pelvaro

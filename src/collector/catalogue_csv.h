#pragma once
// The videos of the catalogue as a CSV file that spreadsheet programs open as it is: UTF-8
// with a byte-order mark, a header row with the column names, CR LF between records. Every
// field is network data: its control characters are stripped (StripControls), one that a
// spreadsheet would take for a formula gets a leading "'", and one holding a comma or a quote
// is quoted (its quotes doubled).

#include <string>
#include <string_view>

#include "platform/text.h"

namespace pelvaro {

class CatalogueBackend;

std::string CsvField(std::string_view value);

// The whole CSV text of every videos row, ordered by the time taken. False when the catalogue
// could not be read.
bool CatalogueCsv(CatalogueBackend& catalogue, std::string* csv);

// Writes the CSV to the file (a program path), whole or not at all.
bool ExportCatalogueCsv(CatalogueBackend& catalogue, const Text& path);

}  // namespace pelvaro

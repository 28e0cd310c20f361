#pragma once
// The catalogue read back from the terminal, without the network.

#include <string>

namespace pelvaro::cli {

// Writes every collected video as CSV to the file ("-": stdout); the exit status.
int ExportCsvCommand(const std::string& file, const std::string& catalogueUri);

// Prints the videos and bytes per category and per day, and the failures per reason.
int StatsCommand(const std::string& catalogueUri);

}  // namespace pelvaro::cli

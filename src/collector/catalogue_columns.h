#pragma once
// The catalogue's columns, named once: the tables, the statements that write and read them,
// the CSV export and the statistics are all made from these tables, by any backend of the
// catalogue. A column joins with the schema step that adds it (`since`, a version of the
// catalogue schema): the steps before it never change.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "collector/catalogue_video.h"

namespace pelvaro {

// A column of the videos table and the field of CatalogueVideo it holds: a text or a number.
struct VideoColumn {
  std::string_view name;
  std::string_view type;  // as the table declares it
  std::string CatalogueVideo::*text = nullptr;
  std::int64_t CatalogueVideo::*number = nullptr;
  int since = 1;
};

inline constexpr VideoColumn kVideoColumns[] = {
    {"docid", "TEXT PRIMARY KEY", &CatalogueVideo::docid},
    {"title", "TEXT", &CatalogueVideo::title},
    {"category", "TEXT", &CatalogueVideo::category},
    {"published", "TEXT", &CatalogueVideo::published},
    {"duration_s", "INTEGER", nullptr, &CatalogueVideo::durationS},
    {"width", "INTEGER", nullptr, &CatalogueVideo::width},
    {"height", "INTEGER", nullptr, &CatalogueVideo::height},
    {"size_bytes", "INTEGER", nullptr, &CatalogueVideo::sizeBytes},
    {"url", "TEXT", &CatalogueVideo::url},
    {"path", "TEXT", &CatalogueVideo::path},
    {"taken_at", "TEXT", &CatalogueVideo::takenAt},
};

// A column of the failures table. The last failure is kept as its kind (the failure table's
// name for it) and detail; last_reason holds its words as well, for copies of the program that
// knew no kinds, and is all that rows from before the kinds have when their words could not be
// read back.
struct FailureColumn {
  std::string_view name;
  std::string_view type;
  int since = 1;
};

inline constexpr FailureColumn kFailureColumns[] = {
    {"docid", "TEXT PRIMARY KEY"}, {"attempts", "INTEGER"},  {"last_reason", "TEXT"},
    {"last_at", "TEXT"},           {"last_kind", "TEXT", 2}, {"last_detail", "INTEGER", 2},
};

// "a, b, c" of the columns' names, each with `prefix` before it (":" for named parameters).
template <typename Column>
std::string ColumnList(std::span<const Column> columns, std::string_view prefix = {}) {
  std::string list;
  for (const Column& column : columns) {
    if (!list.empty()) list += ", ";
    list += prefix;
    list += column.name;
  }
  return list;
}

// "name type, ..." of the columns a table had at schema version `version`.
template <typename Column>
std::string ColumnDefinitions(std::span<const Column> columns, int version) {
  std::string list;
  for (const Column& column : columns) {
    if (column.since > version) continue;
    if (!list.empty()) list += ", ";
    list += std::string(column.name) + " " + std::string(column.type);
  }
  return list;
}

inline std::string VideoColumnList(std::string_view prefix = {}) {
  return ColumnList<VideoColumn>(kVideoColumns, prefix);
}

// The words of a stored failure (UTF-8), made now from its kind and detail; a row without a
// kind this program knows shows the words it was stored with.
std::string StoredFailureWords(std::string_view kind, std::int64_t detail, std::string_view storedWords);

}  // namespace pelvaro

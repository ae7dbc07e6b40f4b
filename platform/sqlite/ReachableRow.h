#pragma once
// Reading past damage in an SQLite table, for the salvage of the settings
// hive and of the station log. Plain C++ on SQLite alone.
#include <sqlite3.h>

#include <cstdint>
#include <optional>

namespace sqlitesalvage {

constexpr int64_t kLastRowid = INT64_MAX;

// The first value of the integer key `column` at or after `from` whose row
// can be reached, when a scan stopped on a damaged page: seeks by key go
// round a damaged leaf through the pages above it. Steps out in doubling
// strides, then narrows to the edge of the damage so that the rows just
// after it are not skipped.
std::optional<int64_t> nextReachableRow(sqlite3* db, const char* table, const char* column, int64_t from);

}  // namespace sqlitesalvage

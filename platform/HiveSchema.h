#pragma once
// The hive's tables. keys and vals hold the registry; keys_copy and
// vals_copy hold the same rows again, kept by triggers inside the file, so
// that one damaged page of a table or its index never takes a value with it.
#include <sqlite3.h>

namespace platform::detail {

constexpr const char* kHiveFormat = "pluvane-hive-1";

// Creates whatever of the schema is missing, copies included, in one
// transaction; rows already in keys/vals are copied when the copies are new.
bool ensureHiveSchema(sqlite3* db);
bool hasCopyTables(sqlite3* db);

}  // namespace platform::detail

#include "HiveSchema.h"

namespace platform::detail {

namespace {

bool exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// The format row stays "pluvane-hive-1": files from before the copies open
// in older builds too, whose writes the triggers still copy.
constexpr const char* kTables =
    "CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value TEXT);"
    "CREATE TABLE IF NOT EXISTS keys(path_folded TEXT PRIMARY KEY, path TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS vals(key_folded TEXT NOT NULL, name_folded TEXT NOT NULL,"
    " name TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(key_folded, name_folded));"
    "INSERT OR IGNORE INTO meta VALUES('format', 'pluvane-hive-1');";

constexpr const char* kCopies =
    "CREATE TABLE keys_copy(path_folded TEXT NOT NULL, path TEXT NOT NULL);"
    "CREATE INDEX keys_copy_path ON keys_copy(path_folded);"
    "CREATE TABLE vals_copy(key_folded TEXT NOT NULL, name_folded TEXT NOT NULL,"
    " name TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL);"
    "CREATE INDEX vals_copy_name ON vals_copy(key_folded, name_folded);"
    "INSERT INTO keys_copy(path_folded, path) SELECT path_folded, path FROM keys ORDER BY rowid;"
    "INSERT INTO vals_copy(key_folded, name_folded, name, type, data)"
    " SELECT key_folded, name_folded, name, type, data FROM vals ORDER BY rowid;"
    "CREATE TRIGGER keys_copy_insert AFTER INSERT ON keys BEGIN"
    " INSERT INTO keys_copy(path_folded, path) VALUES(new.path_folded, new.path); END;"
    "CREATE TRIGGER keys_copy_update AFTER UPDATE ON keys BEGIN"
    " UPDATE keys_copy SET path_folded = new.path_folded, path = new.path WHERE path_folded = old.path_folded; END;"
    "CREATE TRIGGER keys_copy_delete AFTER DELETE ON keys BEGIN"
    " DELETE FROM keys_copy WHERE path_folded = old.path_folded; END;"
    "CREATE TRIGGER vals_copy_insert AFTER INSERT ON vals BEGIN"
    " INSERT INTO vals_copy(key_folded, name_folded, name, type, data)"
    " VALUES(new.key_folded, new.name_folded, new.name, new.type, new.data); END;"
    "CREATE TRIGGER vals_copy_update AFTER UPDATE ON vals BEGIN"
    " UPDATE vals_copy SET key_folded = new.key_folded, name_folded = new.name_folded, name = new.name,"
    " type = new.type, data = new.data WHERE key_folded = old.key_folded AND name_folded = old.name_folded; END;"
    "CREATE TRIGGER vals_copy_delete AFTER DELETE ON vals BEGIN"
    " DELETE FROM vals_copy WHERE key_folded = old.key_folded AND name_folded = old.name_folded; END;";

}  // namespace

bool hasCopyTables(sqlite3* db)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_schema WHERE type = 'trigger' AND name LIKE '%_copy_%'",
                           -1, &stmt, nullptr) != SQLITE_OK)
        return false;
    const bool present = sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_int(stmt, 0) == 6;
    sqlite3_finalize(stmt);
    return present;
}

bool ensureHiveSchema(sqlite3* db)
{
    if (!exec(db, "BEGIN IMMEDIATE")) return false;
    bool ok = exec(db, kTables);
    if (ok && !hasCopyTables(db)) {
        ok = exec(db,
                  "DROP TRIGGER IF EXISTS keys_copy_insert; DROP TRIGGER IF EXISTS keys_copy_update;"
                  "DROP TRIGGER IF EXISTS keys_copy_delete; DROP TRIGGER IF EXISTS vals_copy_insert;"
                  "DROP TRIGGER IF EXISTS vals_copy_update; DROP TRIGGER IF EXISTS vals_copy_delete;"
                  "DROP TABLE IF EXISTS keys_copy; DROP TABLE IF EXISTS vals_copy;") &&
             exec(db, kCopies);
    }
    ok = ok && exec(db, "COMMIT");
    if (!ok) exec(db, "ROLLBACK");
    return ok;
}

}  // namespace platform::detail

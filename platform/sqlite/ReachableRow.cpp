#include "ReachableRow.h"

#include <string>

namespace sqlitesalvage {

namespace {

int64_t saturatingAdd(int64_t from, int64_t step) { return from > kLastRowid - step ? kLastRowid : from + step; }

}  // namespace

std::optional<int64_t> nextReachableRow(sqlite3* db, const char* table, const char* column, int64_t from)
{
    const std::string sql = std::string("SELECT ") + column + " FROM " + table + " WHERE " + column + " >= ? ORDER BY "
                            + column + " LIMIT 1";
    sqlite3_stmt* probe = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &probe, nullptr) != SQLITE_OK) {
        sqlite3_finalize(probe);
        return std::nullopt;
    }
    const auto reach = [&](int64_t start) {
        sqlite3_reset(probe);
        sqlite3_bind_int64(probe, 1, start);
        return sqlite3_step(probe);
    };
    int64_t unreachable = from;
    std::optional<int64_t> reachable;
    for (int64_t stride = 1; unreachable < kLastRowid; stride = stride > kLastRowid / 2 ? kLastRowid : stride * 2) {
        const int64_t start = saturatingAdd(unreachable, stride);
        const int code = reach(start);
        if (code == SQLITE_DONE) break;
        if (code == SQLITE_ROW) {
            reachable = start;
            break;
        }
        unreachable = start;
    }
    while (reachable && *reachable - unreachable > 1) {
        const int64_t middle = unreachable + (*reachable - unreachable) / 2;
        if (reach(middle) == SQLITE_ROW)
            reachable = middle;
        else
            unreachable = middle;
    }
    sqlite3_finalize(probe);
    return reachable;
}

}  // namespace sqlitesalvage

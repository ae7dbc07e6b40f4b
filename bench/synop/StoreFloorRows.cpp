#include "StoreFloorRows.h"

#include "ChildProcess.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace bench {
namespace {

double threadSeconds()
{
    // The kernel's time for this thread's writes counts too, as wait4 counts
    // the tool's.
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

struct ValueFree {
    void operator()(sqlite3_value* v) const { sqlite3_value_free(v); }
};
using Value = std::unique_ptr<sqlite3_value, ValueFree>;
using Row = std::vector<Value>;

struct StoredLog {
    std::vector<std::string> schema;  // CREATE statements, tables first
    std::vector<Row> reports, chunks;
};

bool readAll(sqlite3* db, const char* sql, std::vector<Row>& out)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) return false;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        Row row;
        for (int c = 0; c < sqlite3_column_count(statement); ++c) row.emplace_back(sqlite3_value_dup(sqlite3_column_value(statement, c)));
        out.push_back(std::move(row));
    }
    return sqlite3_finalize(statement) == SQLITE_OK;
}

bool load(const std::string& path, StoredLog& log)
{
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK;
    std::vector<Row> schema;
    ok = ok && readAll(db, "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL ORDER BY type = 'index', rowid", schema);
    for (const Row& r : schema) log.schema.emplace_back(reinterpret_cast<const char*>(sqlite3_value_text(r[0].get())));
    ok = ok && readAll(db, "SELECT * FROM reports ORDER BY id", log.reports);
    ok = ok && readAll(db, "SELECT * FROM text_chunks ORDER BY id", log.chunks);
    sqlite3_close(db);
    return ok && !log.reports.empty() && !log.chunks.empty();
}

sqlite3* create(const std::string& path)
{
    for (const char* side : {"", "-wal", "-shm"}) ::unlink((path + side).c_str());
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
    return db;
}

void insert(sqlite3_stmt* statement, const Row& row)
{
    for (size_t c = 0; c < row.size(); ++c) sqlite3_bind_value(statement, static_cast<int>(c + 1), row[c].get());
    sqlite3_step(statement);
    sqlite3_reset(statement);
}

std::string placeholders(size_t n)
{
    std::string text = "(?";
    for (size_t i = 1; i < n; ++i) text += ", ?";
    return text + ")";
}

// Every report as a row of the log's table, with its indexes, in one
// transaction per text chunk as the tool stores them.
double asRows(const StoredLog& log, const std::string& path)
{
    sqlite3* db = create(path);
    const double start = threadSeconds();
    for (const std::string& create : log.schema) sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr);
    sqlite3_stmt *row = nullptr, *chunk = nullptr;
    sqlite3_prepare_v2(db, ("INSERT INTO reports VALUES " + placeholders(log.reports.front().size())).c_str(), -1, &row, nullptr);
    sqlite3_prepare_v2(db, ("INSERT INTO text_chunks VALUES " + placeholders(log.chunks.front().size())).c_str(), -1, &chunk, nullptr);
    const size_t perChunk = (log.reports.size() + log.chunks.size() - 1) / log.chunks.size();
    for (size_t c = 0; c < log.chunks.size(); ++c) {
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        insert(chunk, log.chunks[c]);
        for (size_t r = c * perChunk; r < std::min(log.reports.size(), (c + 1) * perChunk); ++r) insert(row, log.reports[r]);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_finalize(row);
    sqlite3_finalize(chunk);
    sqlite3_close(db);
    return threadSeconds() - start;
}

void appendValue(std::string& bytes, sqlite3_value* v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: {
        const sqlite3_int64 n = sqlite3_value_int64(v);
        bytes.append(reinterpret_cast<const char*>(&n), sizeof n);
        break;
    }
    case SQLITE_FLOAT: {
        const double d = sqlite3_value_double(v);
        bytes.append(reinterpret_cast<const char*>(&d), sizeof d);
        break;
    }
    case SQLITE_TEXT:
    case SQLITE_BLOB:
        bytes.append(static_cast<const char*>(sqlite3_value_blob(v)), sqlite3_value_bytes(v));
        break;
    default:
        break;
    }
}

// The same bytes with no row per report and no index: each transaction's
// reports packed into blobs of 64 kB. No log can be read this way; it is
// what writing the bytes costs. With `keyRows`, each report also has the
// least row a log that finds repeats and lists reports by time could have:
// its id, station, form and times, under one index of its identity.
double asBlobs(const StoredLog& log, const std::string& path, size_t& bytesWritten, bool keyRows = false)
{
    sqlite3* db = create(path);
    const double start = threadSeconds();
    sqlite3_exec(db, "CREATE TABLE blobs (id INTEGER PRIMARY KEY, data BLOB NOT NULL)", nullptr, nullptr, nullptr);
    sqlite3_stmt* key = nullptr;
    if (keyRows) {
        sqlite3_exec(db, "CREATE TABLE keys (id INTEGER PRIMARY KEY, form TEXT, station TEXT, observed_utc INTEGER, "
                         "received_utc INTEGER); CREATE INDEX keys_by_identity ON keys(station, form, observed_utc)",
                     nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(db, "INSERT INTO keys VALUES (?, ?, ?, ?, ?)", -1, &key, nullptr);
    }
    sqlite3_stmt* blob = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO blobs (data) VALUES (?)", -1, &blob, nullptr);
    auto write = [&](const std::string& bytes) {
        for (size_t at = 0; at < bytes.size(); at += 65536) {
            sqlite3_bind_blob(blob, 1, bytes.data() + at, static_cast<int>(std::min<size_t>(65536, bytes.size() - at)), SQLITE_STATIC);
            sqlite3_step(blob);
            sqlite3_reset(blob);
        }
        bytesWritten += bytes.size();
    };
    const size_t perChunk = (log.reports.size() + log.chunks.size() - 1) / log.chunks.size();
    std::string bytes;
    bytesWritten = 0;
    for (size_t c = 0; c < log.chunks.size(); ++c) {
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        bytes.clear();
        for (const Value& v : log.chunks[c]) appendValue(bytes, v.get());
        write(bytes);
        bytes.clear();
        for (size_t r = c * perChunk; r < std::min(log.reports.size(), (c + 1) * perChunk); ++r) {
            const Row& row = log.reports[r];
            for (const Value& v : row) appendValue(bytes, v.get());
            if (key) {
                // The log's first columns: id, form, station, observed_utc, report_time, received_utc.
                for (int c = 0; c < 4; ++c) sqlite3_bind_value(key, c + 1, row[c].get());
                sqlite3_bind_value(key, 5, row[5].get());
                sqlite3_step(key);
                sqlite3_reset(key);
            }
        }
        write(bytes);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_finalize(blob);
    sqlite3_finalize(key);
    sqlite3_close(db);
    return threadSeconds() - start;
}

}  // namespace

void storeFloorRows(const std::string& logPath, const std::string& workDir, const std::function<double()>& jsonRun,
                    double librarySeconds)
{
    StoredLog log;
    if (!load(logPath, log)) {
        std::printf("storing's floor: the log %s could not be read\n", logPath.c_str());
        return;
    }
    // In turns with the tool's JSON run, medians: a burst of load falls on
    // both sides of each ratio.
    constexpr int kRounds = 5;
    std::vector<double> jsonTimes, rowTimes, keyedTimes, blobTimes;
    size_t bytes = 0;
    for (int i = 0; i < kRounds; ++i) {
        jsonTimes.push_back(jsonRun());
        rowTimes.push_back(asRows(log, workDir + "/floor-rows.sqlite"));
        keyedTimes.push_back(asBlobs(log, workDir + "/floor-keyed.sqlite", bytes, true));
        blobTimes.push_back(asBlobs(log, workDir + "/floor-blobs.sqlite", bytes));
    }
    const double jsonSeconds = median(jsonTimes), rows = median(rowTimes), keyed = median(keyedTimes),
                 blobs = median(blobTimes);
    std::printf("what storing costs SQLite alone (the new log's %zu reports and %zu text chunks, %.1f MB, written again "
                "in this process into a new file, a transaction a chunk as the tool writes them; medians of 5 in turns with the JSON run):\n",
                log.reports.size(), log.chunks.size(), bytes / 1e6);
    std::printf("  a row a report with the log's columns and indexes: %.1f ms, %.2f times the JSON run's whole CPU time (%.1f ms)\n",
                rows * 1e3, rows / jsonSeconds, jsonSeconds * 1e3);
    std::printf("  the same bytes as 64 kB blobs, and the least row a report (id, station, form, times) under one index: "
                "%.1f ms, %.2f times\n",
                keyed * 1e3, keyed / jsonSeconds);
    std::printf("  the same bytes as bare 64 kB blobs, no row a report and no index (no log could be read so): %.1f ms, %.2f times\n",
                blobs * 1e3, blobs / jsonSeconds);
    std::printf("  beside: the library decodes the text in %.1f ms; --store at 1.3 times the JSON run leaves %.1f ms beyond it "
                "for starting, deciding what is a repeat and writing\n",
                librarySeconds * 1e3, (1.3 * jsonSeconds - librarySeconds) * 1e3);
}

}  // namespace bench

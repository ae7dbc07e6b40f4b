#include "LargeLogRows.h"

#include "ChildProcess.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {
namespace {

constexpr int64_t kMonthMs = 30LL * 24 * 3600 * 1000;

// The log's rows and text again, shifted a month each time, until it holds
// about a million reports. The file is then what a year or two of a busy
// broadcast leaves.
bool grow(const std::string& path, int64_t& reports, int64_t& bytes)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
    int64_t rows = 0;
    sqlite3_stmt* count = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM reports", -1, &count, nullptr);
    if (sqlite3_step(count) == SQLITE_ROW) rows = sqlite3_column_int64(count, 0);
    sqlite3_finalize(count);
    const int64_t copies = rows ? std::max<int64_t>(1, 1000000 / rows - 1) : 0;
    const std::string shift = "n * " + std::to_string(kMonthMs);
    const std::string copiesSql = "(WITH RECURSIVE k(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM k WHERE n < " +
                                  std::to_string(copies) + ") SELECT n FROM k)";
    const std::string sql =
        "BEGIN;"
        "INSERT INTO reports (form, station, observed_utc, report_time, received_utc, last_heard_utc, times_heard, "
        "heading_ttaaii, heading_cccc, heading_yygggg, heading_bbb, date_group, groups, raw, assembly_warnings, "
        "plausibility_checks, decoded, warning_count, station_name, country, lat, lon, elevation_m, search_text, "
        "superseded_by) SELECT form, station, observed_utc + " + shift + ", report_time + " + shift +
        ", received_utc + " + shift + ", last_heard_utc + " + shift +
        ", times_heard, heading_ttaaii, heading_cccc, heading_yygggg, heading_bbb, date_group, groups, raw, "
        "assembly_warnings, plausibility_checks, decoded, warning_count, station_name, country, lat, lon, elevation_m, "
        "search_text, NULL FROM reports, " + copiesSql + " ORDER BY n, reports.id;"
        "INSERT INTO text_chunks (received_utc, source, text) SELECT received_utc + " + shift +
        ", source, text FROM text_chunks, " + copiesSql + " ORDER BY n, text_chunks.id;"
        "COMMIT; PRAGMA wal_checkpoint(TRUNCATE);";
    const bool ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    reports = rows * (copies + 1);
    sqlite3_close(db);
    bytes = static_cast<int64_t>(std::filesystem::file_size(path));
    return ok;
}

}  // namespace

void largeLogRows(const std::vector<std::string>& common, const std::string& input, const std::string& stored,
                  const std::string& workDir)
{
    const std::string large = workDir + "/large.sqlite";
    std::error_code error;
    std::filesystem::copy_file(stored, large, std::filesystem::copy_options::overwrite_existing, error);
    int64_t reports = 0, bytes = 0;
    if (error || !grow(large, reports, bytes)) {
        std::printf("--store into a large log: the log could not be made\n");
        return;
    }
    // In turns, each with new stations and times for both logs (a year the
    // large log does not reach yet), medians.
    constexpr int kRounds = 5;
    std::vector<double> fresh, grown;
    for (int i = 0; i < kRounds; ++i) {
        char received[32];
        std::snprintf(received, sizeof received, "%d-%02d-28T23:00Z", 2036 + i / 12, 1 + i % 12);
        std::vector<std::string> arguments = common;
        arguments.insert(arguments.end(), {"--received", received, "", input});
        const std::string newLog = workDir + "/fresh" + std::to_string(i) + ".sqlite";
        arguments[arguments.size() - 2] = "--store=" + newLog;
        fresh.push_back(run(arguments, workDir + "/out").cpuSeconds);
        for (const char* side : {"", "-wal", "-shm"}) std::filesystem::remove(newLog + side, error);
        arguments[arguments.size() - 2] = "--store=" + large;
        grown.push_back(run(arguments, workDir + "/out").cpuSeconds);
    }
    std::printf("pluvane-synop --store into a log of %lld reports (%.0f MB; its page cache warm), in turns with the same "
                "run into a new log (%d rounds, medians): %.3f s of CPU against %.3f s, %.2f times\n",
                static_cast<long long>(reports), bytes / 1e6, kRounds, median(grown), median(fresh),
                median(grown) / median(fresh));
    for (const char* side : {"", "-wal", "-shm"}) std::filesystem::remove(large + side, error);
}

}  // namespace bench

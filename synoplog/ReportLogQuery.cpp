// Reading the log: pages of reports for the window, one station's history,
// the stored text.
#include "ReportLog.h"
#include "ReportSearch.h"
#include "SqlStatement.h"
#include "synopdecoder/SynopDecoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

namespace synop {
namespace {

constexpr const char* kColumns =
    "id, form, station, observed_utc, received_utc, last_heard_utc, times_heard, heading_ttaaii, heading_cccc, "
    "heading_yygggg, heading_bbb, date_group, groups, raw, assembly_warnings, plausibility_checks, station_name, "
    "country, lat, lon, elevation_m, superseded_by";

ReportForm formFromCode(std::string_view code)
{
    if (code == "BBXX") return ReportForm::Ship;
    if (code == "ZZYY") return ReportForm::Buoy;
    return ReportForm::Land;
}

void splitGroups(std::string_view text, std::vector<std::string>& groups)
{
    groups.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) groups.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
}

void readWarnings(std::string_view json, std::vector<std::string>& warnings)
{
    warnings.clear();
    if (json.size() > 2)  // not "[]"
        for (const QJsonValue& w : QJsonDocument::fromJson(QByteArray::fromRawData(json.data(), static_cast<qsizetype>(json.size()))).array())
            warnings.push_back(w.toString().toStdString());
}

// A stored report's columns as they were cut out of the stream, viewed
// where SQLite keeps them.
struct StoredColumns {
    std::string_view form;
    bool hasHeading = false;
    std::string_view ttaaii, cccc, yygggg, bbb;
    std::string_view dateGroup, groups, raw, warnings;
};

// The assembled report again, into one whose strings and lists a reader of
// many rows uses again rather than making them for every row.
void assemble(const StoredColumns& c, AssembledReport& assembled)
{
    assembled.form = formFromCode(c.form);
    if (!c.hasHeading) {
        assembled.heading.reset();
    } else {
        if (!assembled.heading) assembled.heading.emplace();
        assembled.heading->ttaaii = c.ttaaii;
        assembled.heading->cccc = c.cccc;
        assembled.heading->yygggg = c.yygggg;
        assembled.heading->bbb = c.bbb;
    }
    assembled.landDateGroup = c.dateGroup;
    splitGroups(c.groups, assembled.groups);
    assembled.raw = c.raw;
    readWarnings(c.warnings, assembled.warnings);
}

// The row's report decoded again from what was cut out of the stream: the
// same values as at reception, with each group's meaning for the window.
// A reader of many rows passes the same two objects for each.
void fromRow(const sql::Statement& row, bool withGroupMeanings, AssembledReport& assembled, LoggedReport& r)
{
    assemble({row.view(1), !row.isNull(7), row.view(7), row.view(8), row.view(9), row.view(10), row.view(11), row.view(12),
              row.view(13), row.view(14)},
             assembled);
    DecoderOptions options;
    options.plausibilityChecks = row.integer(15) != 0;
    options.describeGroups = withGroupMeanings;

    r.id = row.integer(0);
    decodeReport(assembled, r.report, options);
    if (r.report.station.empty()) r.report.station = row.view(2);
    r.observedUtc = row.isNull(3) ? QDateTime() : sql::utc(row.integer(3));
    r.receivedUtc = sql::utc(row.integer(4));
    r.lastHeardUtc = sql::utc(row.integer(5));
    r.timesHeard = static_cast<int>(row.integer(6));
    r.place.name = row.view(16);
    r.place.country = row.view(17);
    r.place.lat.reset();
    r.place.lon.reset();
    r.place.reportedPosition = false;
    r.place.listedAs = nullptr;
    if (!row.isNull(18) && !row.isNull(19)) {
        r.place.lat = row.real(18);
        r.place.lon = row.real(19);
        r.place.reportedPosition = r.report.form != ReportForm::Land && r.report.lat.has_value();
    }
    r.place.elevationM.reset();
    if (!row.isNull(20)) r.place.elevationM = static_cast<int>(row.integer(20));
    r.supersededBy = row.isNull(21) ? 0 : row.integer(21);
}

LoggedReport fromRow(const sql::Statement& row, bool withGroupMeanings)
{
    AssembledReport assembled;
    LoggedReport r;
    fromRow(row, withGroupMeanings, assembled, r);
    return r;
}

// What report_matches() is given after the needle.
constexpr const char* kReportTextColumns =
    "id, form, heading_ttaaii, heading_cccc, heading_yygggg, heading_bbb, date_group, groups, raw, assembly_warnings, "
    "plausibility_checks, station, station_name, country";

std::string_view viewOf(sqlite3_value* value)
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return data ? std::string_view(data, static_cast<size_t>(sqlite3_value_bytes(value))) : std::string_view();
}

std::string textOf(sqlite3_value* value) { return std::string(viewOf(value)); }

// Row ids are dense from 1: a byte each (0 not yet asked, 1 no, 2 yes) up
// to this many rows; ids beyond are answered without the memo.
constexpr int64_t kMemoRows = 64 * 1024 * 1024;
// What decoding adds to the search text is kept for up to this many rows
// (about 100 bytes each).
constexpr int64_t kDecodedTextRows = 4 * 1024 * 1024;

// The search text is not stored: the stored fields are looked in first, and
// only a report they do not match is decoded for its weather, clouds and
// warnings, once for every needle.
bool reportMatches(const std::string& needle, sqlite3_value** argv, sql::SearchMemo* memo)
{
    // Every row meets this for every new needle: its text is put together
    // in one buffer kept from row to row.
    std::string& text = memo->text;
    text.assign(viewOf(argv[12]));
    for (const int column : {13, 14, 9}) text.append(1, '\n').append(viewOf(argv[column]));
    if (sqlite3_value_type(argv[3]) != SQLITE_NULL)
        for (int column = 3; column <= 6; ++column) text.append(1, '\n').append(viewOf(argv[column]));
    lowerCase(text);
    if (text.find(needle) != std::string::npos) return true;

    const int64_t id = sqlite3_value_int64(argv[1]);
    const bool kept = id > 0 && id < kDecodedTextRows;
    if (kept && id < static_cast<int64_t>(memo->decodedKnown.size()) && memo->decodedKnown[id]) {
        text.assign(memo->decodedText[id]).append(viewOf(argv[9]));  // the decoded part is lower case already
        lowerCase(text);
        return text.find(needle) != std::string::npos;
    }
    // The first needle decodes every row it does not find in the stored
    // fields: into the same objects, one row after another.
    assemble({viewOf(argv[2]), sqlite3_value_type(argv[3]) != SQLITE_NULL, viewOf(argv[3]), viewOf(argv[4]),
              viewOf(argv[5]), viewOf(argv[6]), viewOf(argv[7]), viewOf(argv[8]), viewOf(argv[9]), viewOf(argv[10])},
             memo->assembled);
    DecoderOptions options;
    options.plausibilityChecks = sqlite3_value_int(argv[11]) != 0;
    options.describeGroups = false;
    DecodedReport& report = memo->decoded;
    decodeReport(memo->assembled, report, options);
    if (report.station.empty()) report.station = viewOf(argv[12]);
    StationPlace& place = memo->place;
    place.name = viewOf(argv[13]);
    place.country = viewOf(argv[14]);
    std::string beforeRaw = searchTextBeforeRaw(report, place);
    std::string raw = report.raw;
    lowerCase(raw);
    const bool found = (beforeRaw + raw).find(needle) != std::string::npos;
    if (kept) {
        if (id >= static_cast<int64_t>(memo->decodedKnown.size())) {
            memo->decodedKnown.resize(static_cast<size_t>(id) + 1024);
            memo->decodedText.resize(static_cast<size_t>(id) + 1024);
        }
        memo->decodedText[id] = std::move(beforeRaw);
        memo->decodedKnown[id] = 1;
    }
    return found;
}

struct Where {
    std::string text = " WHERE 1";
    void bindAll(sql::Statement& statement, const ReportFilter& f) const
    {
        if (f.fromUtc.isValid()) statement.bind(sql::millis(f.fromUtc));
        if (f.fromUtc.isValid() && f.rangeOnObservation) statement.bind(sql::millis(f.fromUtc));
        if (f.toUtc.isValid()) statement.bind(sql::millis(f.toUtc));
        if (!f.station.isEmpty()) statement.bind(f.station);
        if (!f.country.isEmpty()) statement.bind(f.country);
        if (!f.text.isEmpty()) statement.bind(f.text.toLower());
        if (f.form) statement.bind(std::string(reportFormCode(*f.form)));
        if (f.afterId) statement.bind(f.afterId);
        if (f.uptoId) statement.bind(f.uptoId);
    }
};

Where whereFor(const ReportFilter& f)
{
    Where w;
    if (!f.withHistory) w.text += " AND superseded_by IS NULL";
    // The report's span, from observation to reception, meets the range. The
    // span's end is indexed for the readings that count: the window asks for
    // the last hours or days, so a range's start is an index scan.
    if (f.rangeOnObservation) {
        // The span ends no earlier than the observation: the index of the
        // span's end narrows a range on the observation too.
        if (f.fromUtc.isValid()) w.text += " AND report_time >= ? AND max(report_time, received_utc) >= ?";
        if (f.toUtc.isValid()) w.text += " AND report_time <= ?";
    } else {
        if (f.fromUtc.isValid()) w.text += " AND max(report_time, received_utc) >= ?";
        if (f.toUtc.isValid()) w.text += " AND min(report_time, received_utc) <= ?";
    }
    if (!f.station.isEmpty()) w.text += " AND station = ?";
    if (!f.country.isEmpty()) w.text += " AND country = ? COLLATE NOCASE";
    if (!f.text.isEmpty()) w.text += std::string(" AND report_matches(?, ") + kReportTextColumns + ")";
    if (f.form) w.text += " AND form = ?";
    if (!f.withNil) w.text += " AND json_extract(decoded, '$.nil') IS NULL";
    if (f.onlyWarned) w.text += " AND warning_count > 0";
    if (f.afterId) w.text += " AND id > ?";
    if (f.uptoId) w.text += " AND id <= ?";
    return w;
}

void reportMatchesMemo(sqlite3_context* context, int, sqlite3_value** argv)
{
    auto* memo = static_cast<sql::SearchMemo*>(sqlite3_user_data(context));
    const std::string needle = textOf(argv[0]);
    if (needle != memo->needle) {
        // Typed on: what did not hold the shorter needle cannot hold this one.
        if (!memo->needle.empty() && needle.find(memo->needle) != std::string::npos) {
            for (uint8_t& answer : memo->answers)
                if (answer == 2) answer = 0;
        } else {
            memo->answers.clear();
        }
        memo->needle = needle;
    }
    const int64_t id = sqlite3_value_int64(argv[1]);
    const bool kept = id > 0 && id < kMemoRows;
    if (kept && id < static_cast<int64_t>(memo->answers.size()) && memo->answers[id]) {
        sqlite3_result_int(context, memo->answers[id] == 2);
        return;
    }
    const bool found = reportMatches(needle, argv, memo);
    if (kept) {
        if (id >= static_cast<int64_t>(memo->answers.size())) memo->answers.resize(static_cast<size_t>(id) + 1024);
        memo->answers[id] = found ? 2 : 1;
    }
    sqlite3_result_int(context, found);
}

}  // namespace

void sql::addSearchFunction(sqlite3* db, SearchMemo* memo)
{
    // A new connection may be a new file (one set aside and salvaged): nothing is carried over.
    memo->needle.clear();
    memo->answers.clear();
    memo->decodedText.clear();
    memo->decodedKnown.clear();
    sqlite3_create_function_v2(db, "report_matches", 15, SQLITE_UTF8 | SQLITE_DETERMINISTIC, memo, reportMatchesMemo,
                               nullptr, nullptr, nullptr);
}

void ReportLog::writeStagedForRead() const
{
    // Logs are never made const, only lent out so; a read inside a batch
    // sees the reports stored in it.
    if (inBatch_ && !const_cast<ReportLog*>(this)->writeStaged()) const_cast<ReportLog*>(this)->stagingFailed_ = true;
}

template <typename Read>
auto ReportLog::againPastDamage(Read read) const -> decltype(read())
{
    writeStagedForRead();
    auto result = read();
    // Logs are never made const, only lent out so: setting the damaged file
    // aside changes the connection, not a report a reader could see.
    if (!inBatch_ && const_cast<ReportLog*>(this)->damageMet()) result = read();
    return result;
}

template <typename Each>
bool ReportLog::select(const ReportFilter& filter, const char* order, int64_t offset, int limit, Each each) const
{
    if (!db_) return false;
    const Where where = whereFor(filter);
    const std::string text = std::string("SELECT ") + kColumns + " FROM reports" + where.text + " ORDER BY " + order +
                             " LIMIT ? OFFSET ?";
    sql::Statement statement(db_, text.c_str());
    where.bindAll(statement, filter);
    statement.bind(static_cast<int64_t>(limit)).bind(offset);
    // One report filled row after row: a reader that keeps it moves it out.
    AssembledReport assembled;
    LoggedReport row;
    while (statement.step()) {
        fromRow(statement, filter.withGroupMeanings, assembled, row);
        if (!each(row)) return true;
    }
    if (statement.resultCode() == SQLITE_DONE || statement.resultCode() == SQLITE_ROW) return true;
    error_ = QStringLiteral("cannot read %1: %2").arg(path_, QString::fromUtf8(sqlite3_errmsg(db_)));
    return false;
}

int64_t ReportLog::countSelected(const ReportFilter& filter, const char* head, const char* tail,
                                 std::optional<int64_t> tailValue) const
{
    return againPastDamage([&]() -> int64_t {
        if (!db_) return 0;
        const Where where = whereFor(filter);
        sql::Statement statement(db_, (head + where.text + tail).c_str());
        where.bindAll(statement, filter);
        if (tailValue) statement.bind(*tailValue);
        return statement.step() ? statement.integer(0) : 0;
    });
}

int64_t ReportLog::count(const ReportFilter& filter) const
{
    return countSelected(filter, "SELECT count(*) FROM reports", "", std::nullopt);
}

int64_t ReportLog::count(const ReportFilter& filter, int64_t atMost) const
{
    return countSelected(filter, "SELECT count(*) FROM (SELECT 1 FROM reports", " LIMIT ?)", atMost);
}

std::vector<LoggedReport> ReportLog::reports(const ReportFilter& filter, int64_t offset, int limit) const
{
    return againPastDamage([&] {
        std::vector<LoggedReport> list;
        select(filter, "id", offset, limit, [&](LoggedReport& r) {
            list.push_back(std::move(r));
            return true;
        });
        return list;
    });
}

std::vector<LoggedReport> ReportLog::reportsFromEnd(const ReportFilter& filter, int64_t offsetFromEnd, int limit) const
{
    // SQLite walks OFFSET rows one by one: near the end of a long list it is
    // far shorter to walk from the newest.
    return againPastDamage([&] {
        std::vector<LoggedReport> list;
        select(filter, "id DESC", offsetFromEnd, limit, [&](LoggedReport& r) {
            list.push_back(std::move(r));
            return true;
        });
        std::reverse(list.begin(), list.end());
        return list;
    });
}

bool ReportLog::forEach(const ReportFilter& filter, const std::function<bool(const LoggedReport&)>& each) const
{
    writeStagedForRead();
    // Not made again: the caller has had part of it. The damaged file is
    // set aside all the same, and lastError() says so.
    const bool read = select(filter, "id", 0, -1, [&](const LoggedReport& r) { return each(r); });
    if (!inBatch_ && const_cast<ReportLog*>(this)->damageMet()) return false;
    return read;
}

std::optional<LoggedReport> ReportLog::report(int64_t id) const
{
    return againPastDamage([&]() -> std::optional<LoggedReport> {
        if (!db_) return std::nullopt;
        sql::Statement statement(db_, (std::string("SELECT ") + kColumns + " FROM reports WHERE id = ?").c_str());
        statement.bind(id);
        if (!statement.step()) return std::nullopt;
        return fromRow(statement, true);
    });
}

int64_t ReportLog::position(const ReportFilter& filter, int64_t id) const
{
    return countSelected(filter, "SELECT count(*) FROM reports", " AND id < ?", id);
}

int64_t ReportLog::lastId() const
{
    return againPastDamage([&]() -> int64_t {
        sql::Statement statement(db_, "SELECT max(id) FROM reports");
        return statement.step() ? statement.integer(0) : 0;
    });
}

std::vector<LoggedReport> ReportLog::stationHistory(ReportForm form, const std::string& station,
                                                    const QDateTime& fromUtc, const QDateTime& toUtc) const
{
    ReportFilter filter;
    filter.form = form;
    filter.station = QString::fromStdString(station);
    filter.fromUtc = fromUtc;
    filter.toUtc = toUtc;
    filter.withGroupMeanings = false;  // plotted values only
    return againPastDamage([&] {
        std::vector<LoggedReport> list;
        select(filter, "report_time, id", 0, -1, [&](LoggedReport& r) {
            list.push_back(std::move(r));
            return true;
        });
        return list;
    });
}

std::vector<LoggedReport> ReportLog::replacedBy(int64_t id) const
{
    return againPastDamage([&] {
        std::vector<LoggedReport> list;
        if (!db_) return list;
        sql::Statement statement(db_, (std::string("SELECT ") + kColumns + " FROM reports WHERE superseded_by = ? ORDER BY id").c_str());
        statement.bind(id);
        while (statement.step()) list.push_back(fromRow(statement, true));
        return list;
    });
}

std::vector<LoggedText> ReportLog::text(const QDateTime& fromUtc, const QDateTime& toUtc, int limit) const
{
    return againPastDamage([&] {
        std::vector<LoggedText> list;
        if (!db_) return list;
        sql::Statement statement(db_, "SELECT id, received_utc, source, text FROM text_chunks "
                                      "WHERE received_utc >= ? AND received_utc <= ? ORDER BY id LIMIT ?");
        statement.bind(fromUtc.isValid() ? sql::millis(fromUtc) : INT64_MIN)
            .bind(toUtc.isValid() ? sql::millis(toUtc) : INT64_MAX)
            .bind(static_cast<int64_t>(limit));
        while (statement.step())
            list.push_back({statement.integer(0), sql::utc(statement.integer(1)), QString::fromStdString(statement.text(2)),
                            statement.blob(3)});
        return list;
    });
}

}  // namespace synop

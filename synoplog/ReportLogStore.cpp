// Storing: one row per report however often it is heard, corrections
// replacing what they correct, and the teletype text as it came.
#include "ObservationTime.h"
#include "ReportLog.h"
#include "SqlStatement.h"
#include "synopdecoder/FieldWriters.h"

#include <algorithm>

namespace synop {
namespace {

std::string joined(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& p : parts) text += (text.empty() ? "" : " ") + p;
    return text;
}

// CCA < CCB < ...; an amendment (AAx) counts as a correction too. Anything
// else (none, RRx delayed) is the first issue.
int correctionRank(const std::optional<BulletinHeading>& heading)
{
    if (!heading || heading->bbb.size() != 3) return 0;
    const std::string& bbb = heading->bbb;
    if ((bbb.compare(0, 2, "CC") == 0 || bbb.compare(0, 2, "AA") == 0) && bbb[2] >= 'A' && bbb[2] <= 'Z')
        return 1 + (bbb[2] - 'A');
    return 0;
}

std::string warningsJson(const std::vector<std::string>& warnings)
{
    std::string list;
    JsonWriter writer(list);
    writer.beginArray({});
    for (const std::string& w : warnings) writer.text({}, w);
    writer.endArray();
    return list;
}

// How long an undated report counts as a repeat of the same text.
constexpr int64_t kUndatedRepeatWindowMs = 24 * 3600 * 1000LL;

}  // namespace

std::optional<StoreResult> ReportLog::store(const AssembledReport& assembled, const DecodedReport& decoded,
                                            const QDateTime& receivedUtc, bool plausibilityChecks)
{
    const bool own = !inBatch_;
    if (own && !beginBatch()) return std::nullopt;
    auto result = storeLocked(assembled, decoded, receivedUtc, plausibilityChecks);
    if (!result) {
        if (own) rollbackBatch();
        return std::nullopt;
    }
    if (own && !commitBatch()) return std::nullopt;
    return result;
}

std::optional<StoreResult> ReportLog::storeLocked(const AssembledReport& assembled, const DecodedReport& decoded,
                                                  const QDateTime& receivedUtc, bool plausibilityChecks)
{
    const std::optional<QDateTime> observed = observationTime(decoded, receivedUtc);
    std::optional<int64_t> observedMs;
    if (observed) observedMs = sql::millis(*observed);
    const int64_t receivedMs = sql::millis(receivedUtc);
    const std::string form = reportFormCode(decoded.form);
    const std::string groups = joined(assembled.groups);
    const bool identifiable = observed && !decoded.station.empty();

    // Every reading already stored for this station and time, current or
    // history: the same groups again are a repeat; a correction replaces
    // what it corrects; anything else is a report of its own and stays listed.
    struct Reading {
        int64_t id;
        bool current;
        int rank;
        bool sameBulletin;  // TTAAii CCCC YYGGgg as this one's
    };
    std::vector<Reading> readings;
    {
        sql::Statement same(prepared(identifiable
                                     ? "SELECT id, groups, superseded_by IS NULL, heading_ttaaii, heading_cccc, heading_yygggg, "
                                       "heading_bbb FROM reports WHERE station = ? AND form = ? AND observed_utc = ? "
                                       "ORDER BY superseded_by IS NOT NULL, id"
                                     : "SELECT id, groups, superseded_by IS NULL, heading_ttaaii, heading_cccc, heading_yygggg, "
                                       "heading_bbb FROM reports WHERE station = ? AND form = ? AND observed_utc IS ? "
                                       "AND abs(received_utc - ?) < ? ORDER BY superseded_by IS NOT NULL, id"));
        same.bindKept(decoded.station).bindKept(form).bind(observedMs);
        if (!identifiable) same.bind(receivedMs).bind(kUndatedRepeatWindowMs);
        while (same.step()) {
            if (same.text(1) == groups) {
                const int64_t id = same.integer(0);
                sql::Statement heard(prepared("UPDATE reports SET times_heard = times_heard + 1, "
                                              "last_heard_utc = max(last_heard_utc, ?) WHERE id = ?"));
                if (!heard.bind(receivedMs).bind(id).done()) { fail(QStringLiteral("cannot write to %1").arg(path_)); return std::nullopt; }
                return StoreResult{id, StoreOutcome::Repeat, 0};
            }
            BulletinHeading theirs{same.text(3), same.text(4), same.text(5), same.text(6)};
            const bool sameBulletin = !same.isNull(3) && assembled.heading && theirs.ttaaii == assembled.heading->ttaaii
                                      && theirs.cccc == assembled.heading->cccc && theirs.yygggg == assembled.heading->yygggg;
            readings.push_back({same.integer(0), same.integer(2) != 0, correctionRank(theirs), sameBulletin});
        }
        if (same.resultCode() != SQLITE_DONE) { fail(QStringLiteral("cannot read %1").arg(path_)); return std::nullopt; }
    }

    StoreResult result;
    int64_t supersededBy = 0;
    std::vector<int64_t> replaced;
    if (identifiable) {
        const int mine = correctionRank(decoded.heading);
        // A correction replaces the readings of its own bulletin that it
        // outranks; failing those (the first issue was never heard under
        // that heading), every current reading it outranks.
        for (const bool bulletinOnly : {true, false}) {
            for (const Reading& r : readings)
                if (r.current && r.rank < mine && (r.sameBulletin || !bulletinOnly)) replaced.push_back(r.id);
            if (!replaced.empty()) break;
        }
        if (!replaced.empty()) {
            result.outcome = StoreOutcome::Correction;
            result.replacedId = replaced.front();
        } else {
            // An earlier issue of a bulletin whose correction is in already
            // belongs to that correction's history.
            for (const Reading& r : readings)
                if (r.current && r.rank > mine && r.sameBulletin) {
                    supersededBy = r.id;
                    break;
                }
            if (std::any_of(readings.begin(), readings.end(), [](const Reading& r) { return r.current; }))
                result.outcome = StoreOutcome::OtherCopy;
        }
    }

    const StationPlace place = stationPlace(decoded);
    const std::string assemblyWarnings = warningsJson(assembled.warnings);
    // Of the decoded values only what a query selects on; the rest, and the
    // text the filter looks in, are made from the groups when read.
    static const std::string nilOnly = R"({"nil":true})", noValues = "{}";
    sql::Statement insert(prepared("INSERT INTO reports (form, station, observed_utc, report_time, received_utc, "
                               "last_heard_utc, heading_ttaaii, heading_cccc, heading_yygggg, heading_bbb, date_group, "
                               "groups, raw, assembly_warnings, plausibility_checks, decoded, warning_count, "
                               "station_name, country, lat, lon, elevation_m, search_text, superseded_by) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '', ?)"));
    // Every text below outlives the insert: bound in place, not copied.
    insert.bindKept(form).bindKept(decoded.station).bind(observedMs).bind(observedMs.value_or(receivedMs)).bind(receivedMs)
        .bind(receivedMs);
    if (assembled.heading)
        insert.bindKept(assembled.heading->ttaaii).bindKept(assembled.heading->cccc).bindKept(assembled.heading->yygggg)
            .bindKept(assembled.heading->bbb);
    else
        insert.bind(std::optional<int>()).bind(std::optional<int>()).bind(std::optional<int>()).bind(std::optional<int>());
    insert.bindKept(assembled.landDateGroup).bindKept(groups).bindKept(assembled.raw).bindKept(assemblyWarnings)
        .bind(plausibilityChecks ? 1 : 0)
        .bindKept(decoded.nil ? nilOnly : noValues)
        .bind(static_cast<int64_t>(decoded.warnings.size()))
        .bindKept(place.name).bindKept(place.country).bind(place.lat).bind(place.lon).bind(place.elevationM)
        .bind(supersededBy ? std::optional<int64_t>(supersededBy) : std::nullopt);
    if (!insert.done()) { fail(QStringLiteral("cannot write to %1").arg(path_)); return std::nullopt; }
    result.id = sqlite3_last_insert_rowid(db_);

    for (const int64_t id : replaced) {
        // The replaced reading and its own history now hang off the new one.
        sql::Statement replace(prepared("UPDATE reports SET superseded_by = ? WHERE id = ? OR superseded_by = ?"));
        if (!replace.bind(result.id).bind(id).bind(id).done())
            { fail(QStringLiteral("cannot write to %1").arg(path_)); return std::nullopt; }
    }
    return result;
}

bool ReportLog::storeText(std::string_view text, const QDateTime& receivedUtc, const QString& source)
{
    if (!isWritable()) return fail(error_.isEmpty() ? QStringLiteral("the log is not open") : error_);
    sql::Statement insert(prepared("INSERT INTO text_chunks (received_utc, source, text) VALUES (?, ?, ?)"));
    if (insert.bind(sql::millis(receivedUtc)).bind(source).bindBlob(text.data(), text.size()).done()) return true;
    return fail(QStringLiteral("cannot write to %1").arg(path_));
}

}  // namespace synop

// Storing: one row per report however often it is heard, corrections
// replacing what they correct, and the teletype text as it came. A batch's
// new rows are staged in memory and written when it commits (StoreStaging.h).
#include "ObservationTime.h"
#include "ReportLog.h"
#include "SqlStatement.h"
#include "StoreStaging.h"
#include "synopdecoder/FieldWriters.h"

#include <algorithm>
#include <cstdlib>

namespace synop {
namespace {

void joinInto(std::string& text, const std::vector<std::string>& parts)
{
    text.clear();
    for (const std::string& p : parts) {
        if (!text.empty()) text += ' ';
        text += p;
    }
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
    if (warnings.empty()) return "[]";
    std::string list;
    JsonWriter writer(list);
    writer.beginArray({});
    for (const std::string& w : warnings) writer.text({}, w);
    writer.endArray();
    return list;
}

bool sameBulletin(const std::optional<BulletinHeading>& a, const std::optional<BulletinHeading>& b)
{
    return a && b && a->ttaaii == b->ttaaii && a->cccc == b->cccc && a->yygggg == b->yygggg;
}

// How long an undated report counts as a repeat of the same text.
constexpr int64_t kUndatedRepeatWindowMs = 24 * 3600 * 1000LL;

constexpr size_t kRowsPerInsert = 32;

}  // namespace

uint64_t sql::IdentityKey::hash() const
{
    // FNV-1a over the station, the form and the time.
    uint64_t h = 1469598103934665603ULL;
    auto mix = [&h](unsigned char byte) { h = (h ^ byte) * 1099511628211ULL; };
    for (const char c : station) mix(static_cast<unsigned char>(c));
    mix(static_cast<unsigned char>(form));
    const uint64_t time = observed ? static_cast<uint64_t>(*observed) : 0x8000000000000001ULL;
    for (int shift = 0; shift < 64; shift += 8) mix(static_cast<unsigned char>(time >> shift));
    return h;
}

bool ReportLog::syncStaging()
{
    sql::StoreStaging& s = *staging_;
    int64_t version = 0, lastId = 0;
    {
        sql::Statement dataVersion(prepared("PRAGMA data_version"));
        if (!dataVersion.step()) return false;
        version = dataVersion.integer(0);
    }
    {
        sql::Statement last(prepared("SELECT max(id) FROM reports"));
        if (!last.step()) return false;
        lastId = last.integer(0);
    }
    if (s.dataVersion != version) {
        // Another connection wrote since: what it stored is looked up anew,
        // and its keys are added to those known.
        s.readings.clear();
        if (s.keysLoaded && !loadStoredKeys(s.knownUpToId)) return false;
        s.dataVersion = version;
    }
    s.nextId = lastId + 1;
    if (s.keysLoaded) s.knownUpToId = lastId;
    return true;
}

bool ReportLog::loadStoredKeys(int64_t afterId)
{
    sql::StoreStaging& s = *staging_;
    sql::Statement keys(prepared("SELECT station, form, observed_utc, id FROM reports WHERE id > ?"));
    keys.bind(afterId);
    sql::IdentityKey key;
    int64_t upTo = afterId;
    while (keys.step()) {
        key.station = keys.text(0);
        key.form = keys.text(1).empty() ? 'A' : keys.text(1)[0];
        key.observed = keys.isNull(2) ? std::nullopt : std::optional<int64_t>(keys.integer(2));
        s.storedKeys.insert(key.hash());
        upTo = std::max(upTo, keys.integer(3));
    }
    if (keys.resultCode() != SQLITE_DONE) return false;
    s.keysLoaded = true;
    s.knownUpToId = upTo;
    return true;
}

bool ReportLog::mayBeStored(const sql::IdentityKey& key)
{
    sql::StoreStaging& s = *staging_;
    // Looking each key up costs an index probe; reading every key once
    // costs a pass over the log. Once the probes would have paid for that
    // pass, the keys are read, and a key not among them needs no probe.
    if (!s.keysLoaded && ++s.lookups > std::max<int64_t>(64, s.nextId / 8)) loadStoredKeys(0);
    return !s.keysLoaded || s.storedKeys.contains(key.hash());
}

bool ReportLog::readStored(const sql::IdentityKey& key, int64_t receivedMs, std::vector<sql::Reading>& out)
{
    const bool dated = key.observed && !key.station.empty();
    sql::Statement same(prepared(dated
                                 ? "SELECT id, groups, superseded_by IS NULL, heading_ttaaii, heading_cccc, heading_yygggg, "
                                   "heading_bbb, received_utc FROM reports WHERE station = ? AND form = ? AND observed_utc = ?"
                                 : "SELECT id, groups, superseded_by IS NULL, heading_ttaaii, heading_cccc, heading_yygggg, "
                                   "heading_bbb, received_utc FROM reports WHERE station = ? AND form = ? AND observed_utc IS ? "
                                   "AND abs(received_utc - ?) < ?"));
    const std::string form = key.form == 'B' ? "BBXX" : key.form == 'Z' ? "ZZYY" : "AAXX";
    same.bindKept(key.station).bindKept(form).bind(key.observed);
    if (!dated) same.bind(receivedMs).bind(kUndatedRepeatWindowMs);
    while (same.step()) {
        sql::Reading r;
        r.id = same.integer(0);
        r.groups = same.text(1);
        r.current = same.integer(2) != 0;
        if (!same.isNull(3)) r.heading = BulletinHeading{same.text(3), same.text(4), same.text(5), same.text(6)};
        r.rank = correctionRank(r.heading);
        r.receivedMs = same.integer(7);
        out.push_back(std::move(r));
    }
    if (same.resultCode() == SQLITE_DONE) return true;
    fail(QStringLiteral("cannot read %1").arg(path_));
    return false;
}

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
    sql::StoreStaging& s = *staging_;
    const int64_t receivedMs = sql::millis(receivedUtc);
    const std::optional<int64_t> observedMs =
        receivedUtc.isValid() ? observationMillis(decoded, receivedMs) : std::nullopt;
    const char* form = reportFormCode(decoded.form);
    // Built in a buffer kept from report to report: a repeat, the commonest
    // case, then costs no allocation at all.
    joinInto(s.groupsText, assembled.groups);
    const std::string& groups = s.groupsText;
    const bool identifiable = observedMs && !decoded.station.empty();
    const sql::IdentityKey key{decoded.station, form[0], observedMs};

    // Every reading already stored or staged for this station and time,
    // current or history: the same groups again are a repeat; a correction
    // replaces what it corrects; anything else is a report of its own and
    // stays listed.
    std::vector<sql::Reading> undated;
    std::vector<sql::Reading>* readings = &undated;
    if (identifiable) {
        auto [entry, added] = s.readings.try_emplace(key);
        if (added && mayBeStored(key) && !readStored(key, receivedMs, entry->second)) {
            s.readings.erase(entry);
            return std::nullopt;
        }
        readings = &entry->second;
    } else {
        if (mayBeStored(key) && !readStored(key, receivedMs, undated)) return std::nullopt;
        for (const sql::Reading& r : s.undatedStaged[key])
            if (std::llabs(r.receivedMs - receivedMs) < kUndatedRepeatWindowMs) undated.push_back(r);
    }
    auto staged = [&s](const sql::Reading& r) -> sql::StagedRow* {
        return r.staged >= 0 && r.staged < static_cast<int>(s.rows.size()) && s.rows[r.staged].id == r.id
                   ? &s.rows[r.staged]
                   : nullptr;
    };

    // A staged reading's groups are its row's, not copied.
    auto groupsOf = [&staged](const sql::Reading& r) -> const std::string& {
        const sql::StagedRow* row = staged(r);
        return row ? row->groups : r.groups;
    };

    // The current readings first, then history, each oldest first.
    std::vector<const sql::Reading*>& ordered = s.ordered;
    ordered.clear();
    for (const sql::Reading& r : *readings) ordered.push_back(&r);
    std::sort(ordered.begin(), ordered.end(), [](const sql::Reading* a, const sql::Reading* b) {
        return a->current != b->current ? a->current : a->id < b->id;
    });
    for (const sql::Reading* r : ordered) {
        if (groupsOf(*r) != groups) continue;
        if (sql::StagedRow* row = staged(*r)) {
            ++row->timesHeard;
            row->lastHeardMs = std::max(row->lastHeardMs, receivedMs);
        } else {
            auto [at, added] = s.heardAgainAt.try_emplace(r->id, s.heardAgain.size());
            if (added) {
                s.heardAgain.push_back({r->id, 1, receivedMs});
            } else {
                sql::StoreStaging::HeardAgain& heard = s.heardAgain[at->second];
                ++heard.times;
                heard.lastMs = std::max(heard.lastMs, receivedMs);
            }
        }
        return StoreResult{r->id, StoreOutcome::Repeat, 0};
    }

    StoreResult result;
    result.id = s.nextId;
    int64_t supersededBy = 0;
    std::vector<int64_t> replaced;
    const int mine = correctionRank(decoded.heading);
    if (identifiable) {
        // A correction replaces the readings of its own bulletin that it
        // outranks; failing those (the first issue was never heard under
        // that heading), every current reading it outranks.
        for (const bool bulletinOnly : {true, false}) {
            for (const sql::Reading* r : ordered)
                if (r->current && r->rank < mine && (!bulletinOnly || sameBulletin(r->heading, assembled.heading)))
                    replaced.push_back(r->id);
            if (!replaced.empty()) break;
        }
        if (!replaced.empty()) {
            result.outcome = StoreOutcome::Correction;
            result.replacedId = replaced.front();
        } else {
            // An earlier issue of a bulletin whose correction is in already
            // belongs to that correction's history.
            for (const sql::Reading* r : ordered)
                if (r->current && r->rank > mine && sameBulletin(r->heading, assembled.heading)) {
                    supersededBy = r->id;
                    break;
                }
            if (std::any_of(ordered.begin(), ordered.end(), [](const sql::Reading* r) { return r->current; }))
                result.outcome = StoreOutcome::OtherCopy;
        }
    }

    for (const int64_t id : replaced) {
        // The replaced reading and its own history now hang off the new one,
        // whether they are written already or staged.
        sql::Statement replace(prepared("UPDATE reports SET superseded_by = ? WHERE id = ? OR superseded_by = ?"));
        if (!replace.bind(result.id).bind(id).bind(id).done())
            { fail(QStringLiteral("cannot write to %1").arg(path_)); return std::nullopt; }
        for (sql::StagedRow& row : s.rows)
            if (row.id == id || row.supersededBy == id) row.supersededBy = result.id;
        for (sql::Reading& r : *readings)
            if (r.id == id) r.current = false;
    }

    // Built where it stays: a staged row is a dozen strings.
    sql::StagedRow& row = s.rows.emplace_back();
    row.id = result.id;
    row.form = form;
    row.station = decoded.station;
    row.observedMs = observedMs;
    row.receivedMs = row.lastHeardMs = receivedMs;
    row.heading = assembled.heading;
    row.dateGroup = assembled.landDateGroup;
    row.groups = groups;
    row.raw = assembled.raw;
    row.assemblyWarnings = warningsJson(assembled.warnings);
    row.plausibilityChecks = plausibilityChecks;
    row.nil = decoded.nil;
    row.warningCount = static_cast<int64_t>(decoded.warnings.size());
    stationPlace(decoded, row.place);
    row.supersededBy = supersededBy;

    sql::Reading reading;
    reading.id = result.id;
    reading.current = supersededBy == 0;
    reading.rank = mine;
    reading.heading = assembled.heading;
    reading.receivedMs = receivedMs;
    reading.staged = static_cast<int>(s.rows.size()) - 1;
    (identifiable ? *readings : s.undatedStaged[key]).push_back(std::move(reading));
    s.storedKeys.insert(key.hash());
    ++s.nextId;
    return result;
}

namespace {

// One staged row's values, bound in the order of the row's tuple below.
constexpr int kValuesPerRow = 25;

std::string insertStatement(int rows)
{
    // Of the decoded values only what a query selects on; the rest, and the
    // text the filter looks in, are made from the groups when read. Every
    // value is bound, each once and in order: what SQL would work out per
    // row (the report's time, the NIL marker) is worked out here instead,
    // and plain numbered parameters spare the prepare a search per name.
    std::string text =
        "INSERT INTO reports (id, form, station, observed_utc, report_time, received_utc, last_heard_utc, times_heard, "
        "heading_ttaaii, heading_cccc, heading_yygggg, heading_bbb, date_group, groups, raw, assembly_warnings, "
        "plausibility_checks, decoded, warning_count, station_name, country, lat, lon, elevation_m, search_text, "
        "superseded_by) VALUES ";
    std::string tuple = "(?";
    for (int n = 2; n <= kValuesPerRow - 1; ++n) tuple += ", ?";
    tuple += ", '', ?)";
    for (int row = 0; row < rows; ++row) text += (row ? ", " : "") + tuple;
    return text;
}

void bindRow(sql::Statement& insert, const sql::StagedRow& row)
{
    static const std::string nilDecoded = "{\"nil\":true}", noDecoded = "{}";
    // Every text below outlives the insert: bound in place, not copied.
    insert.bind(row.id).bindKept(row.form).bindKept(row.station).bind(row.observedMs)
        .bind(row.observedMs.value_or(row.receivedMs)).bind(row.receivedMs).bind(row.lastHeardMs).bind(row.timesHeard);
    if (row.heading)
        insert.bindKept(row.heading->ttaaii).bindKept(row.heading->cccc).bindKept(row.heading->yygggg)
            .bindKept(row.heading->bbb);
    else
        insert.bind(std::optional<int>()).bind(std::optional<int>()).bind(std::optional<int>()).bind(std::optional<int>());
    insert.bindKept(row.dateGroup).bindKept(row.groups).bindKept(row.raw).bindKept(row.assemblyWarnings)
        .bind(row.plausibilityChecks ? 1 : 0)
        .bindKept(row.nil ? nilDecoded : noDecoded)
        .bind(row.warningCount)
        .bindKept(row.place.name).bindKept(row.place.country).bind(row.place.lat).bind(row.place.lon)
        .bind(row.place.elevationM)
        .bind(row.supersededBy ? std::optional<int64_t>(row.supersededBy) : std::nullopt);
}

// Repeats of written rows: a row's count and last hearing, 32 rows a statement.
std::string heardAgainStatement(int rows)
{
    std::string text = "UPDATE reports SET times_heard = times_heard + h.column2, last_heard_utc = max(last_heard_utc, "
                       "h.column3) FROM (VALUES ";
    for (int row = 0; row < rows; ++row) text += row ? ", (?, ?, ?)" : "(?, ?, ?)";
    return text + ") AS h WHERE reports.id = h.column1";
}

}  // namespace

bool ReportLog::writeHeardAgain()
{
    sql::StoreStaging& s = *staging_;
    static const std::string many = heardAgainStatement(kRowsPerInsert), one = heardAgainStatement(1);
    size_t at = 0;
    while (at < s.heardAgain.size()) {
        const bool whole = s.heardAgain.size() - at >= kRowsPerInsert;
        sql::Statement update(prepared(whole ? many.c_str() : one.c_str()));
        const size_t end = at + (whole ? kRowsPerInsert : 1);
        for (; at < end; ++at) update.bind(s.heardAgain[at].id).bind(s.heardAgain[at].times).bind(s.heardAgain[at].lastMs);
        if (!update.done()) return fail(QStringLiteral("cannot write to %1").arg(path_));
    }
    s.heardAgain.clear();
    s.heardAgainAt.clear();
    return true;
}

bool ReportLog::writeStaged()
{
    sql::StoreStaging& s = *staging_;
    if (!s.heardAgain.empty() && !writeHeardAgain()) return false;
    if (s.rows.empty()) return true;
    // Several rows a statement: what SQLite spends on starting and ending
    // a statement is paid once for them.
    static const std::string many = insertStatement(kRowsPerInsert), one = insertStatement(1);
    size_t at = 0;
    while (at < s.rows.size()) {
        const bool whole = s.rows.size() - at >= kRowsPerInsert;
        sql::Statement insert(prepared(whole ? many.c_str() : one.c_str()));
        const size_t end = at + (whole ? kRowsPerInsert : 1);
        for (; at < end; ++at) bindRow(insert, s.rows[at]);
        if (!insert.done()) return fail(QStringLiteral("cannot write to %1").arg(path_));
    }
    s.rows.clear();
    // Written now: the log answers for them. Keeping the readings for later
    // batches saved no work measurably and cost a third more memory.
    s.undatedStaged.clear();
    s.readings.clear();
    return true;
}

bool ReportLog::storeText(std::string_view text, const QDateTime& receivedUtc, const QString& source)
{
    if (!isWritable()) return fail(error_.isEmpty() ? QStringLiteral("the log is not open") : error_);
    sql::Statement insert(prepared("INSERT INTO text_chunks (received_utc, source, text) VALUES (?, ?, ?)"));
    if (insert.bind(sql::millis(receivedUtc)).bind(source).bindBlob(text.data(), text.size()).done()) return true;
    return fail(QStringLiteral("cannot write to %1").arg(path_));
}

}  // namespace synop

// Opening the log: folders, the schema and its version, damaged files.
#include "ReportLog.h"

#include "SqlStatement.h"
#include "StoreStaging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace synop {
namespace {

// "PlvR" in the file's header: tells our log from any other SQLite file.
constexpr int kApplicationId = 0x506c7652;

const char* const kSchema = R"sql(
CREATE TABLE reports (
  id INTEGER PRIMARY KEY,
  form TEXT NOT NULL,                 -- AAXX, BBXX or ZZYY
  station TEXT NOT NULL,              -- index, call sign or buoy number; empty when lost
  observed_utc INTEGER,               -- ms since 1970, UTC; NULL when the report gives no usable day and hour
  report_time INTEGER NOT NULL,       -- observed_utc, else received_utc: what time ranges select on
  received_utc INTEGER NOT NULL,      -- first heard
  last_heard_utc INTEGER NOT NULL,
  times_heard INTEGER NOT NULL DEFAULT 1,
  heading_ttaaii TEXT, heading_cccc TEXT, heading_yygggg TEXT, heading_bbb TEXT,
  date_group TEXT NOT NULL,           -- YYGGiw of the AAXX line (land reports)
  groups TEXT NOT NULL,               -- the report's groups as read, shift errors corrected
  raw TEXT NOT NULL,                  -- as received, lines joined by LF
  assembly_warnings TEXT NOT NULL,    -- JSON list: repairs made while cutting the report out
  plausibility_checks INTEGER NOT NULL,
  decoded TEXT NOT NULL,              -- JSON object: {"nil":true} for a NIL report, else {} (version 2: every value)
  warning_count INTEGER NOT NULL,
  station_name TEXT NOT NULL, country TEXT NOT NULL,
  lat REAL, lon REAL, elevation_m INTEGER,
  search_text TEXT NOT NULL,          -- empty (version 2: what the filter looked in, now made from the groups)
  superseded_by INTEGER REFERENCES reports(id)  -- NULL for the reading that counts
);
CREATE INDEX reports_by_identity ON reports(station, form, observed_utc);
CREATE TABLE text_chunks (
  id INTEGER PRIMARY KEY,
  received_utc INTEGER NOT NULL,
  source TEXT NOT NULL,
  text BLOB NOT NULL                  -- the bytes as fed, Windows-1252
);
CREATE INDEX text_chunks_by_time ON text_chunks(received_utc);
)sql";

// Version 1 put the noisier of two different readings of a station and
// time into history; only a correction may. Those readings are listed again.
const char* const kListOtherReadings = R"sql(
UPDATE reports SET superseded_by = NULL
WHERE superseded_by IS NOT NULL
  AND (SELECT CASE WHEN length(c.heading_bbb) = 3 AND substr(c.heading_bbb, 1, 2) IN ('CC', 'AA')
                   THEN unicode(substr(c.heading_bbb, 3, 1)) ELSE 0 END
       FROM reports AS c WHERE c.id = reports.superseded_by)
      <= CASE WHEN length(heading_bbb) = 3 AND substr(heading_bbb, 1, 2) IN ('CC', 'AA')
              THEN unicode(substr(heading_bbb, 3, 1)) ELSE 0 END;
)sql";

// A missing owner write bit counts as read-only even for root, so that a
// folder or file marked read-only behaves as one for every account.
bool markedWritable(const QString& path)
{
    struct stat info {};
    const QByteArray native = QFile::encodeName(path);
    return ::stat(native.constData(), &info) == 0 && (info.st_mode & S_IWUSR) && ::access(native.constData(), W_OK) == 0;
}

}  // namespace

QString ReportLog::defaultPath()
{
    const QString fromEnv = qEnvironmentVariable("PLUVANE_SYNOP_LOG");
    if (!fromEnv.isEmpty()) return fromEnv;
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty()) dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/pluvane/reports.sqlite");
}

ReportLog::ReportLog(const QString& path)
    : path_(path), searchMemo_(std::make_unique<sql::SearchMemo>()), staging_(std::make_unique<sql::StoreStaging>())
{
    open();
}

void ReportLog::skipMemoryStatistics() { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); }

ReportLog::~ReportLog()
{
    if (inBatch_) rollbackBatch();
    for (auto& [sql, statement] : prepared_) sqlite3_finalize(statement);
    sql::takeDamage(db_);
    sqlite3_close(db_);
}

sqlite3_stmt* ReportLog::prepared(const char* sql)
{
    auto found = prepared_.find(sql);
    if (found != prepared_.end()) return found->second;
    sqlite3_stmt* statement = nullptr;
    if (!db_ || sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) return nullptr;
    prepared_.emplace(sql, statement);
    return statement;
}

void ReportLog::open()
{
    staging_->forget();  // a new connection, perhaps a new file
    const QFileInfo file(path_);
    const QString folder = file.absolutePath();
    if (!QDir().mkpath(folder)) {
        error_ = QStringLiteral("cannot create the folder %1").arg(folder);
        return;
    }
    // WAL needs its side files beside the log, so the folder must be writable too.
    writable_ = markedWritable(folder) && (!file.exists() || markedWritable(path_));
    if (!writable_ && !file.exists()) {
        error_ = QStringLiteral("the folder %1 is read-only").arg(folder);
        return;
    }
    const QByteArray native = QFile::encodeName(path_);
    // One log is one connection, used by one thread at a time: SQLite's
    // lock around every call of it would only cost time.
    const int flags = (writable_ ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(native.constData(), &db_, flags, nullptr) != SQLITE_OK) {
        error_ = QString::fromUtf8(sqlite3_errmsg(db_));
        sqlite3_close(db_);
        db_ = nullptr;
        return;
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sql::addSearchFunction(db_, searchMemo_.get());
    sqlite3_extended_result_codes(db_, 0);
    rememberOpenedFile();

    // Read in a statement of its own that ends here: an open statement keeps
    // a read transaction, and the journal mode cannot change inside one.
    int64_t tables = 0, applicationId = 0, version = 0;
    QString unreadable;
    {
        sql::Statement probe(db_, "SELECT (SELECT count(*) FROM sqlite_master), "
                                  "(SELECT application_id FROM pragma_application_id), "
                                  "(SELECT user_version FROM pragma_user_version)");
        if (probe.step()) {
            tables = probe.integer(0);
            applicationId = probe.integer(1);
            version = probe.integer(2);
        } else {
            unreadable = QString::fromUtf8(sqlite3_errmsg(db_));
        }
    }
    if (!unreadable.isEmpty()) {
        // Not a database at all, or one damaged past reading.
        if (writable_) setAsideAndSalvage(unreadable);
        else error_ = QStringLiteral("%1 cannot be read: %2").arg(path_, unreadable);
        return;
    }
    if (tables > 0 && applicationId != kApplicationId) {
        if (writable_) setAside(QStringLiteral("it is not a station log"));
        else error_ = QStringLiteral("%1 is not a station log").arg(path_);
        return;
    }
    if (version > kSchemaVersion) {
        // A later version's file: read what we understand, write nothing.
        writable_ = false;
        error_ = QStringLiteral("%1 was written by a newer version (schema %2); new reports are not stored")
                     .arg(path_)
                     .arg(version);
        return;
    }
    if (!writable_) {
        error_ = QStringLiteral("%1 is read-only").arg(path_);
        if (tables == 0) {
            sqlite3_close(db_);
            db_ = nullptr;
        }
        return;
    }
    if (tables > 0) {
        // Damage found now is kept aside before anything is written into it.
        std::string problem;
        {
            sql::Statement check(db_, "PRAGMA quick_check");
            if (!check.step()) problem = sqlite3_errmsg(db_);
            else if (check.text(0) != "ok") problem = check.text(0);
        }
        if (!problem.empty()) {
            setAsideAndSalvage(QString::fromStdString(problem).left(200));
            return;
        }
    }
    if (!exec("PRAGMA journal_mode = WAL")) qWarning("station log %s: cannot switch to WAL mode", qPrintable(path_));
    // In WAL mode NORMAL loses at most the last commits on a power cut, never the file.
    exec("PRAGMA synchronous = NORMAL");
    // A statement that writes many rows keeps a journal of the pages it
    // changes, to undo itself alone: in memory rather than in a file of
    // its own written page by page.
    exec("PRAGMA temp_store = MEMORY");
    if (version < kSchemaVersion && !createOrUpgrade()) {
        sqlite3_close(db_);
        db_ = nullptr;
        return;
    }
    // What the window's time ranges select on, over the readings that count:
    // counting a day of a long log reads this index alone.
    exec("CREATE INDEX IF NOT EXISTS reports_current_by_span_end ON reports(max(report_time, received_utc)) "
         "WHERE superseded_by IS NULL");
}

bool ReportLog::createOrUpgrade()
{
    // Another process may be creating the same file: one of us does it.
    if (!exec("BEGIN IMMEDIATE")) return fail(QStringLiteral("cannot prepare the log"));
    int64_t current = 0;
    {
        // Finished before the steps below: a schema change waits for no open statement.
        sql::Statement version(db_, "PRAGMA user_version");
        if (version.step()) current = version.integer(0);
    }
    bool ok = true;
    if (current == 0) ok = exec(kSchema);
    // Later versions add their steps here: if (current < 3) ok = ok && exec(...);
    if (current == 1) ok = ok && exec(kListOtherReadings);
    // Version 3 writes neither the decoded values nor the search text: both
    // are made again from the stored groups when read. Earlier rows keep
    // theirs, and nothing that reads the log depends on either any more.
    // Nor does any query need an index of the observation time alone or of
    // the span's start, which every report stored paid for.
    if (current >= 1 && current < 3)
        ok = ok && exec("DROP INDEX IF EXISTS reports_by_time; DROP INDEX IF EXISTS reports_by_span_start");
    if (ok) ok = exec(("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str());
    if (ok) ok = exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
    if (ok && exec("COMMIT")) return true;
    const QString why = QString::fromUtf8(sqlite3_errmsg(db_));
    exec("ROLLBACK");
    error_ = QStringLiteral("cannot prepare %1: %2").arg(path_, why);
    return false;
}

void ReportLog::setAside(const QString& why)
{
    for (auto& [sql, statement] : prepared_) sqlite3_finalize(statement);
    prepared_.clear();
    sqlite3_close(db_);
    db_ = nullptr;
    const QString aside = path_ + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (!QFile::rename(path_, aside)) {
        error_ = QStringLiteral("%1 is damaged (%2) and cannot be moved aside").arg(path_, why);
        return;
    }
    QFile::remove(path_ + QStringLiteral("-wal"));
    QFile::remove(path_ + QStringLiteral("-shm"));
    notice_ = QStringLiteral("The station log %1 could not be read (%2); it was kept as %3 and a new log started")
                  .arg(path_, why, aside);
    open();
}

bool ReportLog::exec(const char* text)
{
    return db_ && sqlite3_exec(db_, text, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool ReportLog::fail(const QString& what)
{
    error_ = db_ ? QStringLiteral("%1: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(db_))) : what;
    return false;
}

bool ReportLog::beginBatch()
{
    // Damage that reads met is dealt with before anything more is written;
    // this batch fails once, so that its caller keeps it and says why.
    if (!inBatch_ && damageMet()) return false;
    if (!isWritable()) return fail(error_.isEmpty() ? QStringLiteral("the log is not open") : error_);
    if (inBatch_) return true;
    // IMMEDIATE takes the write lock now: two writers wait their turn instead
    // of both reading and then one failing to write.
    if (!exec("BEGIN IMMEDIATE")) return fail(QStringLiteral("cannot write to %1").arg(path_));
    if (!syncStaging()) {
        fail(QStringLiteral("cannot read %1").arg(path_));
        exec("ROLLBACK");
        return false;
    }
    inBatch_ = true;
    stagingFailed_ = false;
    return true;
}

bool ReportLog::commitBatch()
{
    if (!inBatch_) return true;
    if (!stagingFailed_ && writeStaged() && exec("COMMIT")) {
        inBatch_ = false;
        return true;
    }
    fail(QStringLiteral("cannot write to %1").arg(path_));
    rollbackBatch();
    return false;
}

void ReportLog::rollbackBatch()
{
    if (!inBatch_) return;
    const QString keep = error_;
    exec("ROLLBACK");
    error_ = keep;
    inBatch_ = false;
    // What was staged is gone, and what was read may have changed with it;
    // the keys known may name rows never written, whose ids another writer
    // may take.
    staging_->forget();
    damageMet();  // a write that met damage: the file goes aside now, and lastError() says so
}

void ReportLog::setPageLimit(int64_t pages)
{
    exec(("PRAGMA max_page_count = " + std::to_string(pages)).c_str());
}

}  // namespace synop

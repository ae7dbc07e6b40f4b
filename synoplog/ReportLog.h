#pragma once
// The station log: every decoded report and the teletype text it came in,
// in one SQLite file that the component, the command-line tool and several
// front ends at once can write (WAL mode, a busy timeout, one transaction
// per batch). A repeated bulletin is one row; a correction replaces what it
// corrects and keeps it as history.
//
// A log that cannot be opened or written does not stop anything: calls
// answer false or empty and lastError() says why in words, so that callers
// keep their reports in memory meanwhile.
#include "LoggedReport.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace synop {
namespace sql {
struct SearchMemo;
struct StoreStaging;
struct IdentityKey;
struct Reading;
}

class ReportLog {
public:
    // 2: a reading is history only when a correction replaced it (version 1
    // also hid the noisier of two different readings). 3: the decoded values
    // and the search text are made from the groups when read, not stored.
    static constexpr int kSchemaVersion = 3;
    static constexpr int kBusyTimeoutMs = 5000;

    // $PLUVANE_SYNOP_LOG when set, else $XDG_DATA_HOME/pluvane/reports.sqlite
    // (XDG_DATA_HOME defaults to ~/.local/share).
    static QString defaultPath();

    // Opens or creates the file, and its folders. A file that is not a log
    // is renamed aside and a fresh one started; a damaged log (SQLite's
    // quick_check, or damage any statement meets later) is kept aside byte
    // for byte and a new log started with what still reads of it; a file
    // from a newer version, or one that may not be written, is opened read-only.
    explicit ReportLog(const QString& path = defaultPath());
    // For a program's start, before any SQLite file is opened and while no
    // other thread runs: SQLite keeps no memory statistics then, whose lock
    // every allocation of every statement takes. Too late, it changes nothing.
    static void skipMemoryStatistics();
    ~ReportLog();
    ReportLog(const ReportLog&) = delete;
    ReportLog& operator=(const ReportLog&) = delete;

    const QString& path() const { return path_; }
    bool isOpen() const { return db_ != nullptr; }
    bool isWritable() const { return db_ && writable_; }
    QString lastError() const { return error_; }
    // What opening did that the user should hear of (a damaged file set aside).
    QString openingNotice() const { return notice_; }
    // Damage that a read or a write meets later sets the file aside at once
    // as well, and the log goes on in the new file; the listener hears the
    // one message that says where the file was kept and what was recovered
    // (or why it could not be kept aside). Reads that met it are answered
    // from the new log; a batch that met it fails once.
    void onDamagedFileSetAside(std::function<void(const QString&)> listener) { setAsideListener_ = std::move(listener); }
    // How many damaged files this log has set aside since it was opened.
    int filesSetAside() const { return filesSetAside_; }

    // Writes. Each call is its own transaction unless inside a batch; a
    // batch that fails is rolled back whole, so callers can keep it and retry.
    bool beginBatch();
    bool commitBatch();
    void rollbackBatch();

    std::optional<StoreResult> store(const AssembledReport& assembled, const DecodedReport& decoded,
                                     const QDateTime& receivedUtc, bool plausibilityChecks = true);
    bool storeText(std::string_view text, const QDateTime& receivedUtc, const QString& source);

    // Reads: reports in the order they were stored.
    int64_t count(const ReportFilter& filter) const;
    // The same, counted no further than atMost: whether a selection is
    // longer than that costs no more than reading that many rows.
    int64_t count(const ReportFilter& filter, int64_t atMost) const;
    std::vector<LoggedReport> reports(const ReportFilter& filter, int64_t offset = 0, int limit = -1) const;
    // The same order, counted from the newest: the last `limit` rows before the newest `offsetFromEnd`.
    std::vector<LoggedReport> reportsFromEnd(const ReportFilter& filter, int64_t offsetFromEnd, int limit) const;
    // Each report in turn without holding them all; stop by answering false.
    bool forEach(const ReportFilter& filter, const std::function<bool(const LoggedReport&)>& each) const;
    std::optional<LoggedReport> report(int64_t id) const;
    // How many of the reports the filter selects were stored before this one.
    int64_t position(const ReportFilter& filter, int64_t id) const;
    int64_t lastId() const;
    // One station over a time range, in order of observation (current readings only).
    std::vector<LoggedReport> stationHistory(ReportForm form, const std::string& station, const QDateTime& fromUtc,
                                             const QDateTime& toUtc) const;
    // The readings a report replaced, oldest first.
    std::vector<LoggedReport> replacedBy(int64_t id) const;
    std::vector<LoggedText> text(const QDateTime& fromUtc, const QDateTime& toUtc, int limit = 10000) const;

    // Caps the file at so many pages (SQLite's max_page_count): a full disk on demand.
    void setPageLimit(int64_t pages);

private:
    void open();
    bool createOrUpgrade();
    void setAside(const QString& why);
    // Keeps the damaged file (and its write-ahead log) aside as they are and
    // starts a new log with every row that still reads; openingNotice() says so.
    // False when the file could not be moved aside (lastError() says why).
    bool setAsideAndSalvage(const QString& why);
    // The file the connection was opened on, told from one put in its place
    // since (another front end that met the same damage first).
    void rememberOpenedFile();
    bool openedFileWasReplaced() const;
    // Damage met by any statement since the last look: the file is set aside
    // and salvaged at once, the listener told, and lastError() says so. True
    // when that happened.
    bool damageMet();
    // A read that met damage is made once more, in the new log. Reads inside
    // a batch leave the damage to the batch's end, which rolls it back.
    template <typename Read>
    auto againPastDamage(Read read) const -> decltype(read());
    bool exec(const char* sql);
    // Storing runs the same few statements for every report: each is prepared once.
    sqlite3_stmt* prepared(const char* sql);
    bool fail(const QString& what);
    std::optional<StoreResult> storeLocked(const AssembledReport& assembled, const DecodedReport& decoded,
                                           const QDateTime& receivedUtc, bool plausibilityChecks);
    // Staging (StoreStaging.h): brought up to date at the start of each
    // batch, and written out when it commits or before a read inside it.
    bool syncStaging();
    bool loadStoredKeys(int64_t afterId);
    bool mayBeStored(const sql::IdentityKey& key);
    bool readStored(const sql::IdentityKey& key, int64_t receivedMs, std::vector<sql::Reading>& out);
    bool writeStaged();
    bool writeHeardAgain();
    void writeStagedForRead() const;
    template <typename Each>
    bool select(const ReportFilter& filter, const char* order, int64_t offset, int limit, Each each) const;
    // count(*) of the rows the filter selects: head, the filter's WHERE, tail,
    // and a value bound after the filter's for the tail.
    int64_t countSelected(const ReportFilter& filter, const char* head, const char* tail,
                          std::optional<int64_t> tailValue) const;

    QString path_;
    sqlite3* db_ = nullptr;
    std::map<const char*, sqlite3_stmt*> prepared_;
    std::unique_ptr<sql::SearchMemo> searchMemo_;
    std::unique_ptr<sql::StoreStaging> staging_;
    bool stagingFailed_ = false;  // a read inside the batch could not write what it staged
    bool writable_ = false;
    bool inBatch_ = false;
    mutable QString error_;
    QString notice_;
    std::function<void(const QString&)> setAsideListener_;
    int filesSetAside_ = 0;
    uint64_t openedDevice_ = 0, openedInode_ = 0;
};

}  // namespace synop

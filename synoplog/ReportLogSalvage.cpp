// A damaged station log: kept aside byte for byte (its write-ahead log with
// it), and a new log started with every row that still reads.
#include "ReportLog.h"

#include "SqlStatement.h"
#include "platform/sqlite/ReachableRow.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <limits>
#include <mutex>
#include <set>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace synop {
namespace sql {

namespace {
std::mutex& damageMutex()
{
    static std::mutex mutex;
    return mutex;
}
std::set<sqlite3*>& damagedConnections()
{
    static std::set<sqlite3*> connections;
    return connections;
}
}  // namespace

bool isDamage(int code)
{
    code &= 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

void noteDamage(sqlite3* db)
{
    std::lock_guard lock(damageMutex());
    damagedConnections().insert(db);
}

bool takeDamage(sqlite3* db)
{
    std::lock_guard lock(damageMutex());
    return damagedConnections().erase(db) > 0;
}

}  // namespace sql

namespace {

constexpr int64_t kFirstId = std::numeric_limits<int64_t>::min();
constexpr int64_t kLastId = std::numeric_limits<int64_t>::max();

// Copies every row of `table` that reads from `from` into `to`. The number
// of damaged stretches searched past is bounded by the file's pages, so
// the work stays in proportion to the file whatever its pages hold.
int64_t copyWhatReads(sqlite3* from, sqlite3* to, const std::string& table, int64_t pages)
{
    sql::Statement scan(from, ("SELECT * FROM " + table + " WHERE id >= ? ORDER BY id").c_str());
    if (!scan.ok()) return 0;
    const int columns = sqlite3_column_count(scan.handle());
    std::string insertSql = "INSERT OR IGNORE INTO " + table + " VALUES (?";
    for (int i = 1; i < columns; ++i) insertSql += ", ?";
    sql::Statement insert(to, (insertSql + ")").c_str());
    if (!insert.ok()) return 0;  // another layout than ours: nothing to copy it into
    int64_t copied = 0;
    int64_t next = kFirstId;
    for (int64_t stretch = 0; stretch < 2 * pages + 2; ++stretch) {
        sqlite3_reset(scan.handle());
        scan.next = 1;
        scan.bind(next);
        while (scan.step()) {
            sqlite3_reset(insert.handle());
            for (int i = 0; i < columns; ++i) sqlite3_bind_value(insert.handle(), i + 1, sqlite3_column_value(scan.handle(), i));
            if (insert.done() && sqlite3_changes(to) > 0) ++copied;
            const int64_t id = scan.integer(0);
            if (id == kLastId) return copied;
            next = std::max(next, id + 1);
        }
        if (scan.resultCode() == SQLITE_DONE) return copied;
        const auto resume = sqlitesalvage::nextReachableRow(from, table.c_str(), "id", next);
        if (!resume) return copied;
        next = *resume;
    }
    return copied;
}

// Held while a damaged log is checked and moved aside. Two front ends that
// meet the damage at once would otherwise both find the file theirs, and the
// second would move aside the first one's new log while the first writes to
// it. The lock is on the folder (no file of its own is left behind), and is
// given up on after two seconds rather than holding up the window behind a
// stopped program.
class FolderLock {
public:
    explicit FolderLock(const QString& filePath)
    {
        const QByteArray folder = QFile::encodeName(QFileInfo(filePath).absolutePath());
        fd_ = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) return;
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
            if (errno != EWOULDBLOCK && errno != EINTR) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::close(fd_);
        fd_ = -1;
    }
    ~FolderLock()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace

void ReportLog::rememberOpenedFile()
{
    struct stat info {};
    const bool known = ::stat(QFile::encodeName(path_).constData(), &info) == 0;
    openedDevice_ = known ? uint64_t(info.st_dev) : 0;
    openedInode_ = known ? uint64_t(info.st_ino) : 0;
}

bool ReportLog::openedFileWasReplaced() const
{
    // Not known: taken as the same file, which is then set aside as before.
    if (openedInode_ == 0) return false;
    struct stat info {};
    if (::stat(QFile::encodeName(path_).constData(), &info) != 0) return true;  // moved aside, no new log yet
    return uint64_t(info.st_dev) != openedDevice_ || uint64_t(info.st_ino) != openedInode_;
}

bool ReportLog::setAsideAndSalvage(const QString& why)
{
    for (auto& [sql, statement] : prepared_) sqlite3_finalize(statement);
    prepared_.clear();
    inBatch_ = false;
    sql::takeDamage(db_);  // dealt with here; the address may serve another connection later
    // Closing must not checkpoint the write-ahead log into the damaged file:
    // both are kept as they are.
    if (db_) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_close(db_);
    db_ = nullptr;
    // Held until the new log holds what could be read: another front end
    // then takes it up whole.
    const FolderLock folderLock(path_);
    // Another front end on the same log met the damage first and has kept
    // the file aside already: the log now at the path is its new one, whole,
    // and is used as it is rather than set aside in turn.
    if (openedFileWasReplaced()) {
        open();
        if (!isWritable()) return false;
        notice_ = QStringLiteral("The station log %1 is damaged (%2); another program using it has already kept it "
                                 "aside and started a new log, which is used from now on")
                      .arg(path_, why);
        return true;
    }
    // A second file set aside within the same second gets a name of its own.
    const QString stamp = path_ + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = stamp;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo::exists(aside + QStringLiteral("-wal")); ++n)
        aside = stamp + QStringLiteral("-%1").arg(n);
    if (!QFile::rename(path_, aside)) {
        error_ = QStringLiteral("%1 is damaged (%2) and cannot be moved aside").arg(path_, why);
        return false;
    }
    ++filesSetAside_;
    QFile::rename(path_ + QStringLiteral("-wal"), aside + QStringLiteral("-wal"));
    QFile::remove(path_ + QStringLiteral("-shm"));
    open();
    if (!isWritable()) {
        notice_ = QStringLiteral("The station log %1 is damaged (%2); it was kept as %3, and no new log could be "
                                 "started: %4")
                      .arg(path_, why, aside, error_);
        return true;
    }

    int64_t reports = 0, texts = 0;
    sqlite3* damaged = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(aside).constData(), &damaged, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        const int64_t pages = std::max<int64_t>(1, QFileInfo(aside).size() / 512);
        if (exec("BEGIN IMMEDIATE")) {
            reports = copyWhatReads(damaged, db_, "reports", pages);
            texts = copyWhatReads(damaged, db_, "text_chunks", pages);
            if (!exec("COMMIT")) {
                exec("ROLLBACK");
                reports = texts = 0;
            }
        }
    }
    sql::takeDamage(damaged);
    sqlite3_close(damaged);
    // The index of the write-ahead log is scratch, and an empty one says nothing.
    QFile::remove(aside + QStringLiteral("-shm"));
    if (QFileInfo(aside + QStringLiteral("-wal")).size() == 0) QFile::remove(aside + QStringLiteral("-wal"));
    sql::takeDamage(db_);
    notice_ = QStringLiteral("The station log %1 is damaged (%2); it was kept as %3 and a new log started with the "
                             "%4 reports and %5 text chunks that could be read")
                  .arg(path_, why, aside)
                  .arg(reports)
                  .arg(texts);
    return true;
}

bool ReportLog::damageMet()
{
    if (!db_ || !writable_ || !sql::takeDamage(db_)) return false;
    if (setAsideAndSalvage(QStringLiteral("a damaged page was met"))) error_ = notice_;
    if (setAsideListener_) setAsideListener_(error_);
    return true;
}

}  // namespace synop

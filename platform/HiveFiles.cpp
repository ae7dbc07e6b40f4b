#include "HiveFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::detail {

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

void removeFileAndJournal(const QByteArray& path)
{
    ::unlink(path.constData());
    ::unlink((path + "-journal").constData());
}

// The rename is only durable once the folder's entry is on disk too.
void syncFolder(const QString& path)
{
    const int fd = ::open(native(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool copyHive(sqlite3* source, const QByteArray& target, QString* error)
{
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(target.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_backup* backup = sqlite3_backup_init(db, "main", source, "main");
        ok = backup && sqlite3_backup_step(backup, -1) == SQLITE_DONE;
        sqlite3_backup_finish(backup);
        ok = ok && sqlite3_errcode(db) == SQLITE_OK;
    }
    if (!ok) *error = QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
    ok = sqlite3_close(db) == SQLITE_OK && ok;
    return ok;
}

QByteArray freeDamagedName(const QString& path)
{
    const QString base = path + QStringLiteral(".damaged-") +
                         QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString name = base;
    for (int n = 2; QFileInfo::exists(name); ++n) name = base + QStringLiteral("-%1").arg(n);
    return native(name);
}

}  // namespace

QString hivePathFromEnvironment()
{
    const QString fromEnv = qEnvironmentVariable("PLUVANE_HIVE");
    if (!fromEnv.isEmpty()) return fromEnv;
    // The XDG base directory rules call a relative XDG_DATA_HOME invalid: it is ignored.
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isRelativePath(dataHome)) dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/pluvane/hive.sqlite");
}

// Owner write permission missing counts as read-only even for root, so that
// a hive marked read-only behaves as one for every account.
bool fileIsWritable(const QString& path)
{
    struct stat info {};
    if (::stat(native(path).constData(), &info) != 0) return false;
    if ((info.st_mode & 0222) == 0) return false;
    return ::access(native(path).constData(), W_OK) == 0;
}

// The folders are made at the first write; what counts is whether the
// nearest folder that exists lets us make them.
bool directoryAllowsCreation(const QString& path)
{
    QString dir = QFileInfo(path).absolutePath();
    while (!QFileInfo(dir).isDir()) {
        if (QFileInfo::exists(dir)) return false;  // a file where a folder must go
        const QString parent = QFileInfo(dir).path();
        if (parent == dir) return false;
        dir = parent;
    }
    return ::access(native(dir).constData(), W_OK) == 0;
}

QString whyNotWritable(const QString& path)
{
    if (QFileInfo::exists(path)) return QStringLiteral("the file is read-only");
    QString dir = QFileInfo(path).absolutePath();
    while (!QFileInfo(dir).isDir() && QFileInfo(dir).path() != dir) dir = QFileInfo(dir).path();
    return QStringLiteral("its folder cannot be made in %1").arg(QDir::toNativeSeparators(dir));
}

PlacedHive placeHiveFile(sqlite3* source, const QString& path, Placement placement)
{
    PlacedHive result;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        result.error = QStringLiteral("its folder cannot be made");
        return result;
    }
    QByteArray temp = native(path) + ".new-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        result.error = errnoText();
        return result;
    }
    ::close(fd);
    if (!copyHive(source, temp, &result.error)) {
        removeFileAndJournal(temp);
        return result;
    }
    const QByteArray target = native(path);
    switch (placement) {
    case Placement::CreateNew:
        // link() will not replace a hive another process made meanwhile.
        if (::link(temp.constData(), target.constData()) == 0) {
            ::unlink(temp.constData());
        } else if (errno == EEXIST) {
            result.someoneElseMadeIt = true;
            ::unlink(temp.constData());
            return result;
        } else if (QFileInfo::exists(path) || ::rename(temp.constData(), target.constData()) != 0) {
            result.error = errnoText();
            ::unlink(temp.constData());
            return result;
        }
        break;
    case Placement::ReplaceEmpty:
        if (::rename(temp.constData(), target.constData()) != 0) {
            result.error = errnoText();
            ::unlink(temp.constData());
            return result;
        }
        break;
    case Placement::ReplaceDamaged: {
        // The damaged bytes get a second name first, so that the hive's own
        // name never stands empty; without hard links, the file moves aside.
        const QByteArray aside = freeDamagedName(path);
        const bool linked = ::link(target.constData(), aside.constData()) == 0;
        if (!linked && ::rename(target.constData(), aside.constData()) != 0) {
            result.error = errnoText();
            ::unlink(temp.constData());
            return result;
        }
        if (::rename(temp.constData(), target.constData()) != 0) {
            result.error = errnoText();
            if (linked)
                ::unlink(aside.constData());
            else
                ::rename(aside.constData(), target.constData());
            ::unlink(temp.constData());
            return result;
        }
        result.keptAs = QFile::decodeName(aside);
        break;
    }
    }
    syncFolder(path);
    result.placed = true;
    return result;
}

}  // namespace platform::detail

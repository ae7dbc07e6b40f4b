#include "RegistryHive.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSet>
#include <QtGlobal>
#include <mutex>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::detail {

namespace {

constexpr const char* kFormat = "pluvane-hive-1";
constexpr int kBusyTimeoutMs = 3000;

QString hivePathFromEnvironment()
{
    const QString fromEnv = qEnvironmentVariable("PLUVANE_HIVE");
    if (!fromEnv.isEmpty()) return fromEnv;
    // A relative XDG_DATA_HOME is invalid and to be ignored, says the XDG spec.
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isRelativePath(dataHome)) dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/pluvane/hive.sqlite");
}

std::weak_ptr<RegistryHive>& sharedHive()
{
    static std::weak_ptr<RegistryHive> hive;
    return hive;
}

// Owner write permission missing counts as read-only even for root, so that
// a hive marked read-only behaves as one for every account.
bool fileIsWritable(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) return false;
    if ((info.st_mode & 0222) == 0) return false;
    return ::access(native.constData(), W_OK) == 0;
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
    return ::access(QFile::encodeName(dir).constData(), W_OK) == 0;
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (db) sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_stmt != nullptr; }
    void bind(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
    }
    void bind(int index, const QByteArray& blob)
    {
        // A zero-length blob must stay a blob, not become NULL.
        sqlite3_bind_blob(m_stmt, index, blob.constData() ? blob.constData() : "", blob.size(),
                          SQLITE_TRANSIENT);
    }
    void bind(int index, qint64 number) { sqlite3_bind_int64(m_stmt, index, number); }
    // True while a row is available.
    bool step() { return ok() && sqlite3_step(m_stmt) == SQLITE_ROW; }
    bool run() { return ok() && sqlite3_step(m_stmt) == SQLITE_DONE; }
    QString text(int column) const
    {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column)),
                                 sqlite3_column_bytes(m_stmt, column));
    }
    QByteArray blob(int column) const
    {
        const void* data = sqlite3_column_blob(m_stmt, column);
        return QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(m_stmt, column));
    }
    qint64 integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

bool isRootPath(const QString& foldedPath) { return !foldedPath.contains(QLatin1Char('\\')); }

}  // namespace

std::shared_ptr<RegistryHive> RegistryHive::acquire()
{
    const QString path = hivePathFromEnvironment();
    if (auto hive = sharedHive().lock(); hive && hive->m_path == path) return hive;
    std::shared_ptr<RegistryHive> hive(new RegistryHive(path));
    sharedHive() = hive;
    return hive;
}

RegistryHive::RegistryHive(QString path) : m_path(std::move(path))
{
    if (QFileInfo::exists(m_path))
        openExisting();
    else
        m_writable = directoryAllowsCreation(m_path);
}

RegistryHive::~RegistryHive() { sqlite3_close(m_db); }

void RegistryHive::openExisting()
{
    m_writable = fileIsWritable(m_path);
    const int flags = m_writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(QFile::encodeName(m_path).constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        m_damaged = true;
        return;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    if (QFileInfo(m_path).size() == 0) {
        // An empty file is an empty database: make it ours if we may.
        if (m_writable && !initialiseSchema()) m_damaged = true;
        return;
    }
    Statement format(m_db, "SELECT value FROM meta WHERE name = 'format'");
    if (!format.step() || format.text(0) != QLatin1String(kFormat)) {
        qWarning("Settings hive %s is damaged or not a settings hive; reading defaults",
                 qPrintable(m_path));
        m_damaged = true;
    }
}

bool RegistryHive::acceptsWrites() const
{
    if (!m_writable) warnCannotSave(whyNotWritable());
    return m_writable;
}

QString RegistryHive::whyNotWritable() const
{
    if (QFileInfo::exists(m_path)) return QStringLiteral("the file is read-only");
    QString dir = QFileInfo(m_path).absolutePath();
    while (!QFileInfo(dir).isDir() && QFileInfo(dir).path() != dir) dir = QFileInfo(dir).path();
    return QStringLiteral("its folder cannot be created in %1").arg(QDir::toNativeSeparators(dir));
}

void RegistryHive::warnCannotSave(const QString& reason) const
{
    static std::mutex mutex;
    static QSet<QString> warned;
    std::lock_guard lock(mutex);
    if (warned.contains(m_path)) return;
    warned.insert(m_path);
    qWarning("Settings cannot be saved in %s: %s", qPrintable(m_path), qPrintable(reason));
}

bool RegistryHive::exec(const char* sql) const
{
    return m_db && sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool RegistryHive::initialiseSchema()
{
    const bool ok = exec("BEGIN IMMEDIATE") &&
                    exec("CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value TEXT);"
                         "CREATE TABLE IF NOT EXISTS keys(path_folded TEXT PRIMARY KEY, path TEXT NOT NULL);"
                         "CREATE TABLE IF NOT EXISTS vals(key_folded TEXT NOT NULL, name_folded TEXT NOT NULL,"
                         " name TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
                         " PRIMARY KEY(key_folded, name_folded));"
                         "INSERT OR IGNORE INTO meta VALUES('format', 'pluvane-hive-1');") &&
                    exec("COMMIT");
    if (!ok) exec("ROLLBACK");
    return ok;
}

void RegistryHive::setAsideDamagedFile()
{
    sqlite3_close(m_db);
    m_db = nullptr;
    const QString aside = m_path + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    if (QFile::rename(m_path, aside)) {
        qWarning("Settings hive %s was damaged; kept it as %s and started a new one", qPrintable(m_path),
                 qPrintable(aside));
        m_damaged = false;
    }
}

bool RegistryHive::ensureWritableDatabase()
{
    if (!m_writable) return false;
    if (m_damaged) {
        setAsideDamagedFile();
        if (m_damaged) return false;  // could not move it: never overwrite it
    }
    if (m_db) return true;
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        warnCannotSave(QStringLiteral("its folder cannot be created"));
        return false;
    }
    if (sqlite3_open_v2(QFile::encodeName(m_path).constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        warnCannotSave(QString::fromUtf8(sqlite3_errmsg(m_db)));
        sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    return initialiseSchema();
}

bool RegistryHive::keyExists(const QString& foldedPath) const
{
    if (isRootPath(foldedPath)) return true;
    if (m_damaged || !m_db) return false;
    Statement query(m_db, "SELECT 1 FROM keys WHERE path_folded = ?");
    query.bind(1, foldedPath);
    return query.step();
}

std::optional<StoredValue> RegistryHive::value(const QString& foldedKey, const QString& foldedName) const
{
    if (m_damaged || !m_db) return std::nullopt;
    Statement query(m_db, "SELECT name, type, data FROM vals WHERE key_folded = ? AND name_folded = ?");
    query.bind(1, foldedKey);
    query.bind(2, foldedName);
    if (!query.step()) return std::nullopt;
    return StoredValue{query.text(0), static_cast<uint32_t>(query.integer(1)), query.blob(2)};
}

std::vector<QString> RegistryHive::childKeyNames(const QString& foldedPath) const
{
    std::vector<QString> names;
    if (m_damaged || !m_db) return names;
    const QString prefix = foldedPath + QLatin1Char('\\');
    Statement query(m_db, "SELECT path FROM keys WHERE substr(path_folded, 1, ?) = ? ORDER BY path_folded");
    query.bind(1, static_cast<qint64>(prefix.size()));
    query.bind(2, prefix);
    while (query.step()) {
        const QString rest = query.text(0).mid(prefix.size());
        if (!rest.contains(QLatin1Char('\\'))) names.push_back(rest);
    }
    return names;
}

std::vector<StoredValue> RegistryHive::values(const QString& foldedKey) const
{
    std::vector<StoredValue> result;
    if (m_damaged || !m_db) return result;
    Statement query(m_db, "SELECT name, type, data FROM vals WHERE key_folded = ? ORDER BY rowid");
    query.bind(1, foldedKey);
    while (query.step())
        result.push_back({query.text(0), static_cast<uint32_t>(query.integer(1)), query.blob(2)});
    return result;
}

bool RegistryHive::createKeyPath(const QStringList& displayComponents)
{
    if (!ensureWritableDatabase() || !exec("BEGIN IMMEDIATE")) return false;
    QString display = displayComponents.value(0);
    bool ok = true;
    for (int i = 1; i < displayComponents.size() && ok; ++i) {
        display += QLatin1Char('\\') + displayComponents[i];
        Statement insert(m_db, "INSERT OR IGNORE INTO keys(path_folded, path) VALUES(?, ?)");
        insert.bind(1, fold(display));
        insert.bind(2, display);
        ok = insert.run();
    }
    ok = ok && exec("COMMIT");
    if (!ok) exec("ROLLBACK");
    return ok;
}

bool RegistryHive::setValue(const QString& foldedKey, const StoredValue& value)
{
    if (!ensureWritableDatabase()) return false;
    // The first spelling of a value's name is kept, as the registry does.
    Statement update(m_db, "UPDATE vals SET type = ?, data = ? WHERE key_folded = ? AND name_folded = ?");
    update.bind(1, static_cast<qint64>(value.type));
    update.bind(2, value.data);
    update.bind(3, foldedKey);
    update.bind(4, fold(value.name));
    if (!update.run()) return false;
    if (sqlite3_changes(m_db) > 0) return true;
    Statement insert(m_db, "INSERT INTO vals(key_folded, name_folded, name, type, data) VALUES(?, ?, ?, ?, ?)");
    insert.bind(1, foldedKey);
    insert.bind(2, fold(value.name));
    insert.bind(3, value.name);
    insert.bind(4, static_cast<qint64>(value.type));
    insert.bind(5, value.data);
    return insert.run();
}

bool RegistryHive::deleteValue(const QString& foldedKey, const QString& foldedName)
{
    if (!ensureWritableDatabase()) return false;
    Statement erase(m_db, "DELETE FROM vals WHERE key_folded = ? AND name_folded = ?");
    erase.bind(1, foldedKey);
    erase.bind(2, foldedName);
    return erase.run() && sqlite3_changes(m_db) > 0;
}

bool RegistryHive::deleteTree(const QString& foldedPath)
{
    if (!ensureWritableDatabase() || !exec("BEGIN IMMEDIATE")) return false;
    const QString prefix = foldedPath + QLatin1Char('\\');
    Statement keys(m_db, "DELETE FROM keys WHERE path_folded = ? OR substr(path_folded, 1, ?) = ?");
    keys.bind(1, foldedPath);
    keys.bind(2, static_cast<qint64>(prefix.size()));
    keys.bind(3, prefix);
    Statement vals(m_db, "DELETE FROM vals WHERE key_folded = ? OR substr(key_folded, 1, ?) = ?");
    vals.bind(1, foldedPath);
    vals.bind(2, static_cast<qint64>(prefix.size()));
    vals.bind(3, prefix);
    const bool ok = keys.run() && vals.run() && exec("COMMIT");
    if (!ok) exec("ROLLBACK");
    return ok;
}

}  // namespace platform::detail

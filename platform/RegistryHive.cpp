#include "RegistryHive.h"

#include "HiveFiles.h"
#include "HiveSalvage.h"
#include "HiveSchema.h"
#include "HiveStatement.h"

#include <QFile>
#include <QDateTime>
#include <QFileInfo>
#include <QSet>
#include <QtGlobal>
#include <mutex>
#include <sqlite3.h>

namespace platform::detail {

namespace {

constexpr int kBusyTimeoutMs = 3000;

std::weak_ptr<RegistryHive>& sharedHive()
{
    static std::weak_ptr<RegistryHive> hive;
    return hive;
}

bool isRootPath(const QString& foldedPath) { return !foldedPath.contains(QLatin1Char('\\')); }

bool isError(int code) { return code != SQLITE_OK && code != SQLITE_ROW && code != SQLITE_DONE; }

// Every registry call opens the hive afresh: each state of a file is told
// about once per process, not at each of the start-up's ten reads.
bool firstTimeFor(const QString& what)
{
    static std::mutex mutex;
    static QSet<QString> told;
    std::lock_guard lock(mutex);
    if (told.contains(what)) return false;
    told.insert(what);
    return true;
}

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

RegistryHive::~RegistryHive()
{
    closeConnection(m_db);
    closeConnection(m_salvage);
}

void RegistryHive::closeConnection(sqlite3*& db) const
{
    ++m_generation;
    m_statements.forget(db);
    sqlite3_close(db);
    db = nullptr;
}

void RegistryHive::openFile(int flags)
{
    ++m_generation;
    if (sqlite3_open_v2(QFile::encodeName(m_path).constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
}

void RegistryHive::openExisting()
{
    m_writable = fileIsWritable(m_path);
    if (QFileInfo(m_path).size() == 0) {
        m_emptyFile = true;
        return;
    }
    openFile(m_writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
    if (!m_db) {
        becomeDamaged("cannot be opened");
        return;
    }
    // The statements end before a damaged connection is closed: sqlite3_close
    // refuses a connection with statements open, and it would stay open.
    bool checkSaysOk = false, checkRan = false, ours = false;
    int formatRead = SQLITE_OK;
    {
        HiveStatement check(m_db, "PRAGMA quick_check", &m_damageSeen);
        const int checked = check.stepCode();
        checkSaysOk = checked == SQLITE_ROW && check.text(0) == QLatin1String("ok");
        // A hive locked past the busy timeout cannot be checked; that is no damage.
        checkRan = checked == SQLITE_ROW || m_damageSeen;
        HiveStatement format(m_db, "SELECT value FROM meta WHERE name = 'format'", &m_damageSeen);
        formatRead = format.stepCode();
        ours = formatRead == SQLITE_ROW && format.text(0) == QLatin1String(kHiveFormat);
    }
    // What was recovered goes into a new hive at once, so that the salvage
    // is done once and not again at every start until the next save.
    if (checkRan && !checkSaysOk)
        becomeDamaged("has damaged pages", m_writable);
    else if (m_damageSeen || (!ours && !isBusyCode(formatRead)))
        becomeDamaged("is damaged or not a settings hive", m_writable);
    if (m_damaged && m_writable) placeNewFile();
}

void RegistryHive::becomeDamaged(const char* how, bool keptNow) const
{
    m_damageSeen = false;
    SalvageCount count;
    sqlite3* salvage = salvageHive(m_db, &count);
    closeConnection(m_db);
    m_batchOpen = false;  // it ends with the connection; the salvage above holds what it wrote
    closeConnection(m_salvage);
    m_salvage = salvage;
    m_damaged = true;
    const QFileInfo file(m_path);
    if (!firstTimeFor(QStringLiteral("damaged %1 %2 %3")
                          .arg(m_path)
                          .arg(file.size())
                          .arg(file.lastModified().toMSecsSinceEpoch())))
        return;
    if (keptNow)
        qWarning("Settings hive %s %s; recovered the %d values of %d keys that could be read%s",
                 qPrintable(m_path), how, count.values, count.keys,
                 count.everythingRead ? "" : " (some pages could not be read)");
    else
        qWarning("Settings hive %s %s; reading the %d values of %d keys that could be recovered%s; the next save "
                 "keeps it as %s.damaged-<time> and writes them into a new hive",
                 qPrintable(m_path), how, count.values, count.keys,
                 count.everythingRead ? "" : " (some pages could not be read)", qPrintable(m_path));
}

bool RegistryHive::acceptsWrites() const
{
    if (!m_writable) warnCannotSave(whyNotWritable(m_path));
    return m_writable;
}

void RegistryHive::warnCannotSave(const QString& reason) const
{
    if (!firstTimeFor(QStringLiteral("cannot save ") + m_path)) return;
    qWarning("Settings cannot be saved in %s: %s", qPrintable(m_path), qPrintable(reason));
}

bool RegistryHive::exec(const char* sql)
{
    if (!m_db) return false;
    const int code = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (isDamageCode(code)) m_damageSeen = true;
    return code == SQLITE_OK;
}

// A new file takes the hive's name only once it is complete, so that a full
// disk leaves neither an empty hive nor an empty .damaged-* copy behind.
bool RegistryHive::placeNewFile()
{
    sqlite3* fresh = m_salvage;
    sqlite3* empty = nullptr;
    if (!fresh) {
        if (sqlite3_open_v2(":memory:", &empty, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK ||
            !ensureHiveSchema(empty)) {
            sqlite3_close(empty);
            return false;
        }
        fresh = empty;
    }
    const Placement placement = m_damaged ? Placement::ReplaceDamaged
                                : m_emptyFile ? Placement::ReplaceEmpty
                                              : Placement::CreateNew;
    const PlacedHive placed = placeHiveFile(fresh, m_path, placement);
    sqlite3_close(empty);
    if (placed.someoneElseMadeIt) {
        openExisting();
        return !m_damaged || placeNewFile();
    }
    if (!placed.placed) {
        warnCannotSave(placed.error);
        return false;
    }
    if (m_damaged)
        qWarning("Settings hive %s: kept the damaged file as %s and wrote what was recovered into a new hive",
                 qPrintable(m_path), qPrintable(placed.keptAs));
    closeConnection(m_salvage);
    m_damaged = false;
    m_emptyFile = false;
    openFile(SQLITE_OPEN_READWRITE);
    m_schemaChecked = true;
    return m_db != nullptr;
}

bool RegistryHive::ensureWritableDatabase()
{
    if (!m_writable) return false;
    if ((m_damaged || !m_db) && !placeNewFile()) return false;
    if (!m_schemaChecked) {
        // Hives from before the copies get them at their first write.
        m_schemaChecked = true;
        if (!ensureHiveSchema(m_db) && isDamageCode(sqlite3_errcode(m_db))) m_damageSeen = true;
    }
    return m_db != nullptr;
}

// In a batch each write is a savepoint of the batch's transaction, so that
// one that fails takes back only itself, as it would on its own. Damage met
// on the way is salvaged through this connection, so the salvage holds what
// the batch wrote so far, and the batch goes on in the hive made from it.
bool RegistryHive::write(const WriteBody& body)
{
    ++m_generation;
    const bool inBatch = m_batchDepth > 0;
    const char* begin = inBatch ? "SAVEPOINT batch_write" : "BEGIN IMMEDIATE";
    const char* end = inBatch ? "RELEASE batch_write" : "COMMIT";
    const char* undo = inBatch ? "ROLLBACK TO batch_write; RELEASE batch_write" : "ROLLBACK";
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m_damageSeen && !ensureWritableDatabase()) return false;
        bool ok = !m_damageSeen && (!inBatch || openBatchTransaction()) && exec(begin);
        if (ok) {
            ok = body(m_db) && exec(end);
            const int failure = sqlite3_extended_errcode(m_db);
            if (ok) return true;
            exec(undo);
            if (!m_damageSeen) {
                if (isError(failure)) warnCannotSave(QString::fromUtf8(sqlite3_errstr(failure)));
                return false;
            }
        }
        if (!m_damageSeen) return false;
        becomeDamaged("has a damaged page");
    }
    return false;
}

bool RegistryHive::openBatchTransaction()
{
    if (m_batchOpen) return true;
    if (m_damageSeen || !ensureWritableDatabase() || !exec("BEGIN IMMEDIATE")) return false;
    m_batchOpen = true;
    return true;
}

bool RegistryHive::endBatch()
{
    if (m_batchDepth == 0 || --m_batchDepth > 0 || !m_batchOpen) return true;
    m_batchOpen = false;
    ++m_generation;  // a rollback below takes back what the batch wrote
    if (exec("COMMIT")) return true;
    const int failure = sqlite3_extended_errcode(m_db);
    exec("ROLLBACK");
    if (m_damageSeen) becomeDamaged("has a damaged page");
    warnCannotSave(QString::fromUtf8(sqlite3_errstr(failure)));
    return false;
}

template <typename Result, typename Query>
Result RegistryHive::read(Query query) const
{
    Result result = query(readDb());
    if (m_damageSeen && !m_damaged) {
        becomeDamaged("has a damaged page");
        result = query(readDb());
    }
    return result;
}

bool RegistryHive::keyExists(const QString& foldedPath) const
{
    if (isRootPath(foldedPath)) return true;
    return read<bool>([&](sqlite3* db) {
        HiveStatement query(m_statements, db, "SELECT 1 FROM keys WHERE path_folded = ?", &m_damageSeen);
        query.bind(1, foldedPath);
        return query.step();
    });
}

std::optional<StoredValue> RegistryHive::value(const QString& foldedKey, const QString& foldedName) const
{
    return read<std::optional<StoredValue>>([&](sqlite3* db) -> std::optional<StoredValue> {
        HiveStatement query(m_statements, db,
            "SELECT name, type, data FROM vals WHERE key_folded = ? AND name_folded = ?", &m_damageSeen);
        query.bind(1, foldedKey);
        query.bind(2, foldedName);
        if (!query.step()) return std::nullopt;
        return StoredValue{query.text(0), static_cast<uint32_t>(query.integer(1)), query.blob(2)};
    });
}

std::vector<QString> RegistryHive::childKeyNames(const QString& foldedPath) const
{
    return *childKeyListing(foldedPath);
}

std::vector<StoredValue> RegistryHive::values(const QString& foldedKey) const
{
    return *valueListing(foldedKey);
}

RegistryHive::ChangeStamp RegistryHive::changeStamp() const
{
    ChangeStamp stamp{m_generation, -1};
    if (sqlite3* db = readDb()) {
        HiveStatement query(m_statements, db, "PRAGMA data_version", &m_damageSeen);
        if (query.step()) stamp.dataVersion = query.integer(0);
    }
    return stamp;
}

// A listing read while the hive changed under it (damage found and the
// salvage read instead) is handed out but not kept.
template <typename Listing, typename Query>
std::shared_ptr<const Listing> RegistryHive::cachedListing(ListingCache<Listing>& cache, int capacity,
                                                           const QString& foldedPath, Query query) const
{
    const ChangeStamp stamp = changeStamp();
    if (!(stamp == cache.stamp)) {
        cache.listings.clear();
        cache.stamp = stamp;
    }
    if (const auto found = cache.listings.constFind(foldedPath); found != cache.listings.cend()) return *found;
    auto listing = std::make_shared<const Listing>(read<Listing>(query));
    if (m_generation != stamp.generation) {
        cache.listings.clear();
        return listing;
    }
    // A walk down the tree keeps one listing a level; more than that are
    // keys enumerated side by side, which a fresh read serves as well.
    if (cache.listings.size() >= capacity) cache.listings.clear();
    cache.listings.insert(foldedPath, listing);
    return listing;
}

std::shared_ptr<const RegistryHive::KeyNames> RegistryHive::childKeyListing(const QString& foldedPath) const
{
    return cachedListing(m_keyListings, 64, foldedPath, [&](sqlite3* db) {
        KeyNames names;
        // The keys below a path are the range of folded paths from "path\" up
        // to "path]" (']' follows '\\'), in the index's order. A subkey's own
        // keys follow it as one stretch, which is passed over with one seek
        // to "path\subkey]" instead of reading it row by row: listing a key
        // costs its subkeys, not everything below it.
        const QString prefix = foldedPath + QLatin1Char('\\');
        HiveStatement query(m_statements, db,
            "SELECT path_folded, path FROM keys WHERE path_folded >= ? AND path_folded < ? ORDER BY path_folded",
            &m_damageSeen);
        query.bind(2, foldedPath + QLatin1Char(']'));
        QString from = prefix;
        for (bool more = true; more;) {
            query.reset();
            query.bind(1, from);
            more = false;
            while (query.step()) {
                const QString rest = query.text(0).mid(prefix.size());
                const qsizetype deeper = rest.indexOf(QLatin1Char('\\'));
                if (deeper < 0) {
                    names.push_back(query.text(1).mid(prefix.size()));
                    continue;
                }
                from = prefix + rest.left(deeper) + QLatin1Char(']');
                more = true;
                break;
            }
        }
        return names;
    });
}

// Values may be large: only the last key's are kept, which is what
// enumerating a key's values asks again and again.
std::shared_ptr<const RegistryHive::Values> RegistryHive::valueListing(const QString& foldedKey) const
{
    return cachedListing(m_valueListings, 1, foldedKey, [&](sqlite3* db) {
        Values result;
        HiveStatement query(m_statements, db, "SELECT name, type, data FROM vals WHERE key_folded = ? ORDER BY rowid",
                            &m_damageSeen);
        query.bind(1, foldedKey);
        while (query.step())
            result.push_back({query.text(0), static_cast<uint32_t>(query.integer(1)), query.blob(2)});
        return result;
    });
}

// Every key's parents exist (the salvage restores any it lost), so the
// first path found already there, walking up from the new key, ends the
// walk: a new key deep below existing ones is one or two rows, not one a level.
bool RegistryHive::createKeyPath(const QStringList& displayComponents)
{
    return write([this, displayComponents](sqlite3* db) {
        const QChar separator = QLatin1Char('\\');
        const QString display = displayComponents.join(separator);
        // Folding keeps every separator and adds none, so a parent's folded
        // path ends at the same separator, counted from the end, as its own.
        const QString folded = fold(display);
        const qsizetype rootLength = displayComponents.value(0).size();
        qsizetype displayEnd = display.size(), foldedEnd = folded.size();
        while (displayEnd > rootLength) {
            HiveStatement insert(m_statements, db,
                "INSERT OR IGNORE INTO keys(path_folded, path) VALUES(?, ?)", &m_damageSeen);
            insert.bind(1, folded.left(foldedEnd));
            insert.bind(2, display.left(displayEnd));
            if (!insert.run()) return false;
            if (sqlite3_changes(db) == 0) break;
            displayEnd = display.lastIndexOf(separator, displayEnd - 1);
            foldedEnd = folded.lastIndexOf(separator, foldedEnd - 1);
        }
        return true;
    });
}

bool RegistryHive::storeValue(sqlite3* db, const QString& foldedKey, const StoredValue& value)
{
    // The first spelling of a value's name is kept, as the registry does.
    HiveStatement update(m_statements, db,
        "UPDATE vals SET type = ?, data = ? WHERE key_folded = ? AND name_folded = ?", &m_damageSeen);
    update.bind(1, static_cast<qint64>(value.type));
    update.bind(2, value.data);
    update.bind(3, foldedKey);
    update.bind(4, fold(value.name));
    if (!update.run()) return false;
    if (sqlite3_changes(db) > 0) return true;
    HiveStatement insert(m_statements, db,
        "INSERT INTO vals(key_folded, name_folded, name, type, data) VALUES(?, ?, ?, ?, ?)", &m_damageSeen);
    insert.bind(1, foldedKey);
    insert.bind(2, fold(value.name));
    insert.bind(3, value.name);
    insert.bind(4, static_cast<qint64>(value.type));
    insert.bind(5, value.data);
    return insert.run();
}

bool RegistryHive::setValue(const QString& foldedKey, const StoredValue& value)
{
    return write([this, foldedKey, value](sqlite3* db) { return storeValue(db, foldedKey, value); });
}

bool RegistryHive::setValues(const QString& foldedKey, const std::vector<StoredValue>& values)
{
    return write([this, foldedKey, values](sqlite3* db) {
        for (const StoredValue& value : values)
            if (!storeValue(db, foldedKey, value)) return false;
        return true;
    });
}

bool RegistryHive::deleteValue(const QString& foldedKey, const QString& foldedName)
{
    return write([this, foldedKey, foldedName](sqlite3* db) {
        HiveStatement erase(m_statements, db,
            "DELETE FROM vals WHERE key_folded = ? AND name_folded = ?", &m_damageSeen);
        erase.bind(1, foldedKey);
        erase.bind(2, foldedName);
        return erase.run() && sqlite3_changes(db) > 0;
    });
}

bool RegistryHive::deleteTree(const QString& foldedPath)
{
    return write([this, foldedPath](sqlite3* db) {
        // The key and the range of paths below it (see childKeyListing).
        const QString below = foldedPath + QLatin1Char('\\');
        const QString beyond = foldedPath + QLatin1Char(']');
        HiveStatement keys(m_statements, db,
            "DELETE FROM keys WHERE path_folded = ? OR (path_folded >= ? AND path_folded < ?)", &m_damageSeen);
        keys.bind(1, foldedPath);
        keys.bind(2, below);
        keys.bind(3, beyond);
        HiveStatement vals(m_statements, db,
            "DELETE FROM vals WHERE key_folded = ? OR (key_folded >= ? AND key_folded < ?)", &m_damageSeen);
        vals.bind(1, foldedPath);
        vals.bind(2, below);
        vals.bind(3, beyond);
        return keys.run() && vals.run();
    });
}

}  // namespace platform::detail

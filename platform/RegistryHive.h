#pragma once
// The SQLite store behind the registry API. Keys are rows identified by
// their full path folded to one case; values hang off their key's folded
// path. One connection serves every open handle and closes with the last.
//
// A damaged file (SQLite's quick_check at open, or any statement meeting a
// damaged page later) is never written again: what still reads of it is
// salvaged into memory and served from there. Damage found at open is dealt
// with there and then, damage found later at the first write: the damaged
// file is kept, byte for byte, as <hive>.damaged-<time> beside a new hive
// made from the salvage (a hive that cannot be written is served from memory).
#include "HiveStatement.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>


namespace platform::detail {

struct StoredValue {
    QString name;
    uint32_t type = 0;
    QByteArray data;
};

class RegistryHive {
public:
    static std::shared_ptr<RegistryHive> acquire();
    ~RegistryHive();

    const QString& path() const { return m_path; }
    bool writable() const { return m_writable; }
    // writable(), and when not, one line on stderr per hive and process
    // saying why settings cannot be saved.
    bool acceptsWrites() const;
    bool damaged() const { return m_damaged; }

    bool keyExists(const QString& foldedPath) const;
    std::optional<StoredValue> value(const QString& foldedKey, const QString& foldedName) const;
    std::vector<QString> childKeyNames(const QString& foldedPath) const;  // display case, sorted
    std::vector<StoredValue> values(const QString& foldedKey) const;      // in the order written
    // The same lists, kept while nothing changes the hive (a write here, a
    // commit by another process, damage found): enumerating a key one index
    // at a time then reads the key once, not once per index.
    using KeyNames = std::vector<QString>;
    using Values = std::vector<StoredValue>;
    std::shared_ptr<const KeyNames> childKeyListing(const QString& foldedPath) const;
    std::shared_ptr<const Values> valueListing(const QString& foldedKey) const;

    // Writes; each is one transaction, or a part of the batch's. False when
    // the hive cannot be written.
    bool createKeyPath(const QStringList& displayComponents);
    bool setValue(const QString& foldedKey, const StoredValue& value);
    bool setValues(const QString& foldedKey, const std::vector<StoredValue>& values);
    bool deleteValue(const QString& foldedKey, const QString& foldedName);
    bool deleteTree(const QString& foldedPath);

    // Between these, writes share one transaction, committed by the
    // outermost endBatch(); false when what the batch wrote could not be
    // saved.
    void beginBatch() { ++m_batchDepth; }
    bool endBatch();

    static QString fold(const QString& name) { return name.toCaseFolded(); }

private:
    using WriteBody = std::function<bool(sqlite3*)>;
    explicit RegistryHive(QString path);
    void openExisting();
    void openFile(int flags);
    // Finalises the statements kept for db, closes it and clears it.
    void closeConnection(sqlite3*& db) const;
    // keptNow: the salvage is about to become the new hive, the file kept aside.
    void becomeDamaged(const char* how, bool keptNow = false) const;
    bool ensureWritableDatabase();
    bool placeNewFile();
    // Runs body inside one transaction of the file; a damaged page met on
    // the way sets the file aside and the write is made once more in the
    // new hive.
    bool write(const WriteBody& body);
    bool openBatchTransaction();
    bool exec(const char* sql);
    bool storeValue(sqlite3* db, const QString& foldedKey, const StoredValue& value);
    void warnCannotSave(const QString& reason) const;
    // The database reads go to: the file, or the salvage of a damaged one.
    sqlite3* readDb() const { return m_damaged ? m_salvage : m_db; }
    template <typename Result, typename Query>
    Result read(Query query) const;

    struct ChangeStamp {
        quint64 generation = 0;  // this connection's own writes and reopenings
        qint64 dataVersion = -1;  // commits by other connections
        bool operator==(const ChangeStamp& other) const
        {
            return generation == other.generation && dataVersion == other.dataVersion;
        }
    };
    template <typename Listing>
    struct ListingCache {
        ChangeStamp stamp;
        QHash<QString, std::shared_ptr<const Listing>> listings;
    };
    ChangeStamp changeStamp() const;
    template <typename Listing, typename Query>
    std::shared_ptr<const Listing> cachedListing(ListingCache<Listing>& cache, int capacity,
                                                 const QString& foldedPath, Query query) const;

    QString m_path;
    bool m_writable = true;
    bool m_emptyFile = false;  // a 0-byte file: an empty hive, made ours at the first write
    bool m_schemaChecked = false;
    // Reads find damage as well as writes; what they find changes what is read.
    mutable sqlite3* m_db = nullptr;
    mutable sqlite3* m_salvage = nullptr;
    mutable bool m_damaged = false;
    mutable bool m_damageSeen = false;
    mutable StatementCache m_statements;
    int m_batchDepth = 0;
    mutable bool m_batchOpen = false;  // its transaction is open on m_db
    mutable quint64 m_generation = 0;
    mutable ListingCache<KeyNames> m_keyListings;
    mutable ListingCache<Values> m_valueListings;
};

}  // namespace platform::detail

#include "HiveSalvage.h"

#include "HiveSchema.h"
#include "HiveStatement.h"
#include "RegistryHive.h"
#include "platform/sqlite/ReachableRow.h"

#include <QHash>
#include <QMap>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <limits>
#include <list>
#include <optional>
#include <vector>

namespace platform::detail {

namespace {

constexpr qint64 kFirstRowid = std::numeric_limits<qint64>::min();
constexpr qint64 kLastRowid = std::numeric_limits<qint64>::max();

// Pages in the file, as its header says; a header that cannot be read gives
// a small figure, which only makes the salvage give up sooner.
int pageCount(sqlite3* db)
{
    HiveStatement count(db, "PRAGMA page_count");
    return count.stepCode() == SQLITE_ROW ? int(std::clamp<qint64>(count.integer(0), 1, 1 << 20)) : 16;
}

// Calls row(statement) for each row of table that can be read, columns
// after the rowid in column 0. False when some could not be read.
//
// Every damaged stretch costs a search of the rowid space; a page of random
// bytes can hold cells whose rowids lead such searches back and forth
// without end. Each damaged page ends at most a few stretches, so a
// number of stretches in proportion to the file's pages keeps the salvage
// in proportion to the file.
bool readWhatReads(sqlite3* db, const char* table, const char* columns, const std::function<void(HiveStatement&)>& row)
{
    bool damageSeen = false;
    const QByteArray sql = QByteArray("SELECT rowid, ") + columns + " FROM " + table + " WHERE rowid >= ? ORDER BY rowid";
    HiveStatement scan(db, sql.constData(), &damageSeen);
    if (!scan.ok()) return false;
    qint64 from = kFirstRowid;
    const int mostDamagedStretches = 2 * pageCount(db) + 2;
    for (int stretch = 0; stretch < mostDamagedStretches; ++stretch) {
        scan.reset();
        scan.bind(1, from);
        int code = SQLITE_OK;
        bool atEnd = false;
        while ((code = scan.stepCode()) == SQLITE_ROW) {
            row(scan);
            const qint64 rowid = scan.integer(0);
            if (rowid == kLastRowid) {
                atEnd = true;
                break;
            }
            from = rowid + 1;
        }
        if (atEnd || code == SQLITE_DONE) return stretch == 0;
        const auto resume = sqlitesalvage::nextReachableRow(db, table, "rowid", from);
        if (!resume) return false;
        from = *resume;
    }
    return false;
}

// A key below a root, with no empty name on the way: a damaged row can hold
// any text, and a key named "" would list itself as its own child.
bool isKeyPath(const QString& folded)
{
    const QStringList parts = folded.split(QLatin1Char('\\'));
    return parts.size() > 1 && !parts.contains(QString());
}

struct ValueRow {
    QString keyFolded, nameFolded, name;
    qint64 type = 0;
    QByteArray data;
};

class Salvage {
public:
    // Rows of the table proper win over the copy's; among duplicates a
    // table got while its index was damaged, the later row is the newer.
    void addKey(const QString& folded, const QString& display, bool fromCopy)
    {
        if (!fromCopy || !m_keys.contains(folded)) m_keys.insert(folded, display);
    }
    void addValue(ValueRow row, bool fromCopy)
    {
        const QString id = row.keyFolded + QChar(0) + row.nameFolded;
        if (const auto at = m_valueAt.constFind(id); at != m_valueAt.cend()) {
            if (!fromCopy) {
                (*at)->type = row.type;
                (*at)->data = row.data;
            }
            if (fromCopy) m_copyCursor = std::next(*at);
            return;
        }
        // The copy keeps the table's order: a row only it still has goes
        // after the last row both have, where the table had it.
        const auto place = fromCopy ? m_copyCursor : m_values.end();
        const auto inserted = m_values.insert(place, std::move(row));
        m_valueAt.insert(id, inserted);
        if (fromCopy) m_copyCursor = std::next(inserted);
    }
    void startCopy() { m_copyCursor = m_values.begin(); }
    // Every value's key and every key's parents exist, spelled as folded
    // when their own rows were lost.
    void completeKeyPaths()
    {
        QStringList needed = m_keys.keys();
        for (const ValueRow& value : m_values) needed << value.keyFolded;
        for (const QString& path : needed) {
            QStringList parts = path.split(QLatin1Char('\\'));
            while (parts.size() > 1) {
                const QString folded = parts.join(QLatin1Char('\\'));
                if (!m_keys.contains(folded)) m_keys.insert(folded, folded);
                parts.removeLast();
            }
        }
    }
    bool writeInto(sqlite3* db) const
    {
        if (!ensureHiveSchema(db) || sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
        bool ok = true;
        HiveStatement key(db, "INSERT INTO keys(path_folded, path) VALUES(?, ?)");
        for (auto it = m_keys.cbegin(); ok && it != m_keys.cend(); ++it) {
            key.reset();
            key.bind(1, it.key());
            key.bind(2, it.value());
            ok = key.run();
        }
        HiveStatement value(db, "INSERT INTO vals(key_folded, name_folded, name, type, data) VALUES(?, ?, ?, ?, ?)");
        for (const ValueRow& row : m_values) {
            if (!ok) break;
            value.reset();
            value.bind(1, row.keyFolded);
            value.bind(2, row.nameFolded);
            value.bind(3, row.name);
            value.bind(4, row.type);
            value.bind(5, row.data);
            ok = value.run();
        }
        return sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
    }
    int keyCount() const { return static_cast<int>(m_keys.size()); }
    int valueCount() const { return static_cast<int>(m_values.size()); }

private:
    QMap<QString, QString> m_keys;
    std::list<ValueRow> m_values;
    QHash<QString, std::list<ValueRow>::iterator> m_valueAt;
    std::list<ValueRow>::iterator m_copyCursor = m_values.begin();
};

bool readKeys(sqlite3* db, const char* table, Salvage& salvage, bool fromCopy)
{
    return readWhatReads(db, table, "path_folded, path", [&](HiveStatement& row) {
        const QString folded = row.text(1);
        const QString display = row.text(2);
        if (isKeyPath(folded) && RegistryHive::fold(display) == folded) salvage.addKey(folded, display, fromCopy);
    });
}

bool readValues(sqlite3* db, const char* table, Salvage& salvage, bool fromCopy)
{
    return readWhatReads(db, table, "key_folded, name_folded, name, type, data", [&](HiveStatement& row) {
        if (isKeyPath(row.text(1)))
            salvage.addValue({row.text(1), row.text(2), row.text(3), row.integer(4), row.blob(5)}, fromCopy);
    });
}

}  // namespace

sqlite3* salvageHive(sqlite3* damaged, SalvageCount* count)
{
    Salvage salvage;
    bool everythingRead = damaged != nullptr;
    if (damaged) {
        everythingRead &= readKeys(damaged, "keys", salvage, false);
        everythingRead &= readValues(damaged, "vals", salvage, false);
        // The copies hold the same rows; what they add is what the tables lost.
        // A hive from before the copies has none, which is no damage.
        readKeys(damaged, "keys_copy", salvage, true);
        salvage.startCopy();
        readValues(damaged, "vals_copy", salvage, true);
    }
    salvage.completeKeyPaths();

    sqlite3* rebuilt = nullptr;
    if (sqlite3_open_v2(":memory:", &rebuilt, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK ||
        !salvage.writeInto(rebuilt)) {
        sqlite3_close(rebuilt);
        return nullptr;
    }
    if (count) *count = {salvage.keyCount(), salvage.valueCount(), everythingRead};
    return rebuilt;
}

}  // namespace platform::detail

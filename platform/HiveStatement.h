#pragma once
// One prepared SQLite statement of the hive, finalised on scope exit. A
// statement that meets a damaged file (SQLITE_CORRUPT, SQLITE_NOTADB) says
// so through the flag it was given, so that no caller takes a damaged
// page's silence for an absent value.
#include <QByteArray>
#include <QString>
#include <sqlite3.h>
#include <vector>

namespace platform::detail {

inline bool isDamageCode(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// Another connection holds the file past the busy timeout: nothing can be
// told about the file now, least of all that it is damaged.
inline bool isBusyCode(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// Prepared statements kept for reuse on a connection. Preparing a write is
// most of its cost (the copy triggers are compiled into every statement that
// touches a table): an import of a few hundred values spent two thirds of
// its time there. A statement is lent out whole, so two live statements of
// the same text never share one; forget() finalises a connection's
// statements and must come before that connection is closed.
class StatementCache {
public:
    StatementCache() = default;
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;
    ~StatementCache()
    {
        for (const Entry& entry : m_entries) sqlite3_finalize(entry.stmt);
    }

    // A statement of sql on db, prepared now if none is kept; *code is the
    // preparation's result.
    sqlite3_stmt* lend(sqlite3* db, const char* sql, int* code)
    {
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->db != db || it->sql != sql) continue;
            sqlite3_stmt* stmt = it->stmt;
            m_entries.erase(it);
            *code = SQLITE_OK;
            return stmt;
        }
        sqlite3_stmt* stmt = nullptr;
        *code = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        return stmt;
    }
    // Takes a lent statement back, reset and unbound, so that it holds no
    // read lock and no caller's data while it waits.
    void giveBack(sqlite3* db, const char* sql, sqlite3_stmt* stmt)
    {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        m_entries.push_back({db, sql, stmt});
    }
    void forget(sqlite3* db)
    {
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            if (it->db != db) {
                ++it;
                continue;
            }
            sqlite3_finalize(it->stmt);
            it = m_entries.erase(it);
        }
    }

private:
    struct Entry {
        sqlite3* db;
        const char* sql;  // the caller's literal: compared by address
        sqlite3_stmt* stmt;
    };
    std::vector<Entry> m_entries;
};

class HiveStatement {
public:
    HiveStatement(sqlite3* db, const char* sql, bool* damageSeen = nullptr) : m_damageSeen(damageSeen)
    {
        if (db) m_prepared = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
        note(m_prepared);
    }
    // The same, with the statement lent by cache and given back at scope exit.
    HiveStatement(StatementCache& cache, sqlite3* db, const char* sql, bool* damageSeen = nullptr)
        : m_damageSeen(damageSeen)
    {
        if (db) {
            m_stmt = cache.lend(db, sql, &m_prepared);
            if (m_stmt) {
                m_cache = &cache;
                m_db = db;
                m_sql = sql;
            }
        }
        note(m_prepared);
    }
    ~HiveStatement()
    {
        if (m_cache)
            m_cache->giveBack(m_db, m_sql, m_stmt);
        else
            sqlite3_finalize(m_stmt);
    }
    HiveStatement(const HiveStatement&) = delete;
    HiveStatement& operator=(const HiveStatement&) = delete;

    bool ok() const { return m_stmt != nullptr; }
    void bind(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
    }
    void bind(int index, const QByteArray& blob)
    {
        // A zero-length blob must stay a blob, not become NULL.
        sqlite3_bind_blob(m_stmt, index, blob.constData() ? blob.constData() : "", blob.size(), SQLITE_TRANSIENT);
    }
    void bind(int index, qint64 number) { sqlite3_bind_int64(m_stmt, index, number); }
    // SQLITE_ROW, SQLITE_DONE or the error, a failed preparation's included
    // (a locked file cannot even be prepared against).
    int stepCode()
    {
        if (!ok()) return m_prepared != SQLITE_OK ? m_prepared : SQLITE_MISUSE;
        const int code = sqlite3_step(m_stmt);
        note(code);
        return code;
    }
    // True while a row is available.
    bool step() { return stepCode() == SQLITE_ROW; }
    bool run() { return stepCode() == SQLITE_DONE; }
    void reset() { sqlite3_reset(m_stmt); }
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
    void note(int code)
    {
        if (m_damageSeen && isDamageCode(code)) *m_damageSeen = true;
    }
    sqlite3_stmt* m_stmt = nullptr;
    int m_prepared = SQLITE_MISUSE;
    bool* m_damageSeen = nullptr;
    StatementCache* m_cache = nullptr;
    sqlite3* m_db = nullptr;
    const char* m_sql = nullptr;
};

}  // namespace platform::detail

#pragma once
// One prepared SQLite statement of the hive, finalised on scope exit. A
// statement that meets a damaged file (SQLITE_CORRUPT, SQLITE_NOTADB) says
// so through the flag it was given, so that no caller takes a damaged
// page's silence for an absent value.
#include <QByteArray>
#include <QString>
#include <sqlite3.h>

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

class HiveStatement {
public:
    HiveStatement(sqlite3* db, const char* sql, bool* damageSeen = nullptr) : m_damageSeen(damageSeen)
    {
        if (db) m_prepared = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
        note(m_prepared);
    }
    ~HiveStatement() { sqlite3_finalize(m_stmt); }
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
};

}  // namespace platform::detail

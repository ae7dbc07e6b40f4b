#pragma once
// A prepared SQLite statement that finalizes itself, with the few binds and
// reads the station log needs. Internal to the log.
#include "synopdecoder/Report.h"
#include "synopdecoder/StationPlace.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <cstdint>
#include <vector>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace synop::sql {

// Damage met by any statement is noted for the connection, whose log then
// sets the file aside (ReportLogSalvage.cpp).
bool isDamage(int code);
void noteDamage(sqlite3* db);
bool takeDamage(sqlite3* db);

// report_matches(needle, <the row's columns, as kReportTextColumns lists
// them>): whether the report's search text holds the lower-case needle.
// The answers for the last needle are kept by row id in the memo, so that
// the count, the pages and the positions of one filter decode each row once.
// A row's searched columns never change once written, so an answer holds
// until the needle changes; a needle typed on from the last one keeps its
// noes (a text that holds the longer needle holds the shorter one). What
// decoding adds to a row's search text is kept by row id for every needle.
struct SearchMemo {
    std::string needle;
    std::vector<uint8_t> answers;  // by row id: 0 not asked yet, 1 no, 2 yes
    std::vector<std::string> decodedText;  // by row id: the search text before the raw text, lower case
    std::vector<uint8_t> decodedKnown;     // by row id: 1 once decodedText holds it
    // Each row's text and, decoded for its search text, its report go into
    // these, used again.
    std::string text;
    AssembledReport assembled;
    DecodedReport decoded;
    StationPlace place;
};
void addSearchFunction(sqlite3* db, SearchMemo* memo);

class Statement {
public:
    Statement(sqlite3* db, const char* text)
    {
        if (db && sqlite3_prepare_v2(db, text, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
    }
    // A statement prepared once and kept by its owner: reset, not finalized, here.
    explicit Statement(sqlite3_stmt* kept) : stmt_(kept), kept_(true) {}
    ~Statement()
    {
        if (!kept_) {
            sqlite3_finalize(stmt_);
        } else if (stmt_) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    // Ready to run again with new values bound over the old ones.
    void rewind()
    {
        sqlite3_reset(stmt_);
        next = 1;
    }
    int next = 1;  // the index the next bind() fills

    Statement& bind(const QString& text) { return bind(text.toStdString()); }
    Statement& bind(const std::string& text)
    {
        sqlite3_bind_text(stmt_, next++, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // Text that stays put until the statement has run: SQLite reads it in
    // place instead of copying it.
    Statement& bindKept(const std::string& text)
    {
        sqlite3_bind_text(stmt_, next++, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        return *this;
    }
    Statement& bindText(const char* data, size_t size)
    {
        sqlite3_bind_text(stmt_, next++, data, static_cast<int>(size), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindBlob(const void* data, size_t size)
    {
        sqlite3_bind_blob(stmt_, next++, size ? data : "", static_cast<int>(size), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int64_t number)
    {
        sqlite3_bind_int64(stmt_, next++, number);
        return *this;
    }
    Statement& bind(int number) { return bind(static_cast<int64_t>(number)); }
    template <typename T>
    Statement& bind(const std::optional<T>& value)
    {
        if (value) return bindValue(*value);
        sqlite3_bind_null(stmt_, next++);
        return *this;
    }
    Statement& bindValue(double value)
    {
        sqlite3_bind_double(stmt_, next++, value);
        return *this;
    }
    Statement& bindValue(int value) { return bind(value); }
    Statement& bindValue(int64_t value) { return bind(value); }

    // True while a row is there; done() for statements without rows.
    bool step() { return ok() && checked(sqlite3_step(stmt_)) == SQLITE_ROW; }
    bool done() { return ok() && checked(sqlite3_step(stmt_)) == SQLITE_DONE; }
    int resultCode() const { return rc_; }
    sqlite3_stmt* handle() const { return stmt_; }

    bool isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    double real(int column) const { return sqlite3_column_double(stmt_, column); }
    std::string text(int column) const
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return data ? std::string(data, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
    }
    // The column's text where SQLite keeps it: valid up to the next step.
    std::string_view view(int column) const
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return data ? std::string_view(data, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))) : std::string_view();
    }
    QByteArray blob(int column) const
    {
        const void* data = sqlite3_column_blob(stmt_, column);
        return QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(stmt_, column));
    }

private:
    int checked(int rc)
    {
        rc_ = rc;
        if (isDamage(rc)) noteDamage(sqlite3_db_handle(stmt_));
        return rc;
    }
    sqlite3_stmt* stmt_ = nullptr;
    bool kept_ = false;
    int rc_ = SQLITE_OK;
};

inline int64_t millis(const QDateTime& t) { return t.toMSecsSinceEpoch(); }
inline QDateTime utc(int64_t ms) { return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC); }

}  // namespace synop::sql

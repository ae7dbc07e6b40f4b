#pragma once
// Sinks for ReportFields: JSON text written straight into a byte buffer, a
// CSV row and the values of a KML placemark. The first two allocate nothing
// per report once warm.
#include "synopdecoder/ReportFields.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

// The JSON writer's small steps, inlined into a walk over a report's keys
// even where the compiler would judge the walk too long for it.
#if defined(__GNUC__)
#define PLUVANE_INLINE [[gnu::always_inline]] inline
#else
#define PLUVANE_INLINE inline
#endif

namespace synop {

namespace detail {

// A key or short text copied without a call: overlapping moves that stay
// inside the source, whatever its length.
PLUVANE_INLINE void copyShort(char* to, const char* from, size_t n)
{
    if (n >= 16) {
        if (n > 32) {
            std::memcpy(to, from, n);
            return;
        }
        std::memcpy(to, from, 16);
        std::memcpy(to + n - 16, from + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else {
        for (size_t i = 0; i < n; ++i) to[i] = from[i];
    }
}

// "00" to "99", for writing whole numbers two figures at a time.
inline constexpr char kTwoFigures[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// A whole number's figures at `at` (room for 20); the end returned. What
// std::to_chars writes, with less work for the small numbers of a report.
PLUVANE_INLINE char* writeWhole(char* at, unsigned long long value)
{
    if (value < 10) {
        *at = static_cast<char>('0' + value);
        return at + 1;
    }
    if (value < 100) {
        std::memcpy(at, kTwoFigures + 2 * value, 2);
        return at + 2;
    }
    // Three and four figures (pressures, heights, visibilities in tens of
    // metres) without counting them first.
    if (value < 1000) {
        *at = static_cast<char>('0' + value / 100);
        std::memcpy(at + 1, kTwoFigures + 2 * (value % 100), 2);
        return at + 3;
    }
    if (value < 10000) {
        std::memcpy(at, kTwoFigures + 2 * (value / 100), 2);
        std::memcpy(at + 2, kTwoFigures + 2 * (value % 100), 2);
        return at + 4;
    }
    size_t figures = 5;
    for (unsigned long long rest = value / 100000; rest; rest /= 10) ++figures;
    char* p = at + figures;
    while (value >= 100) {
        p -= 2;
        std::memcpy(p, kTwoFigures + 2 * (value % 100), 2);
        value /= 100;
    }
    if (value >= 10) std::memcpy(p - 2, kTwoFigures + 2 * value, 2);
    else p[-1] = static_cast<char>('0' + value);
    return at + figures;
}

}  // namespace detail

// Appends JSON to a buffer: compact, keys in the order given, strings as
// UTF-8 (a byte that is not UTF-8 becomes U+FFFD). Values go inside an
// object or array. The small pieces go into a staging area of the writer's
// own by plain stores and reach the buffer in large appends: when the area
// fills, when the outermost object or array closes, on flush() and at the
// writer's end.
//
// Every value is written with a comma after it, and a closing bracket takes
// the place of the last one: the walk over a report's keys then writes each
// key without asking whether it is the first. Values of a known most size
// are written into the slack past the staging area's end and the area
// handed on afterwards, with one comparison of a pointer already at hand.
class JsonWriter final : public FieldSink {
public:
    explicit JsonWriter(std::string& out) : out_(out) {}
    ~JsonWriter() override { flush(); }
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    // Defined here, so that a caller that knows it has a JsonWriter (the
    // walk over a report's keys) copies each key as a constant.
    PLUVANE_INLINE void integer(std::string_view key, long long value) override
    {
        char* at = keyed(key);
        if (value < 0) {
            *at++ = '-';
            at = detail::writeWhole(at, 0 - static_cast<unsigned long long>(value));
        } else {
            at = detail::writeWhole(at, static_cast<unsigned long long>(value));
        }
        ended(at);
    }
    PLUVANE_INLINE void number(std::string_view key, double value) override { ended(writeNumber(keyed(key), value)); }
    PLUVANE_INLINE void text(std::string_view key, std::string_view utf8) override
    {
        if (room(key.size() + 4 + 6 * utf8.size() + 2 + 8)) {
            ended(writeString(keyed(key), utf8));
        } else {
            longText(key, utf8);
        }
    }
    // Text the program made itself (a form's code, a time it wrote, a word
    // of its own): printable ASCII without quotes or backslashes, copied as
    // it is. Never text from a report or a log.
    PLUVANE_INLINE void ownText(std::string_view key, std::string_view ascii)
    {
        if (!room(key.size() + 4 + ascii.size() + 2)) {
            longText(key, ascii);
            return;
        }
        char* at = keyed(key);
        *at++ = '"';
        detail::copyShort(at, ascii.data(), ascii.size());
        at += ascii.size();
        *at++ = '"';
        ended(at);
    }
    PLUVANE_INLINE void boolean(std::string_view key, bool value) override
    {
        char* const at = keyed(key);
        std::memcpy(at, value ? "true" : "false", 5);  // "true" and a byte that is written over
        ended(at + (value ? 4 : 5));
    }
    PLUVANE_INLINE void null(std::string_view key) override
    {
        char* const at = keyed(key);
        std::memcpy(at, "null", 4);
        ended(at + 4);
    }
    // A bulletin heading as an object of its four parts. The reports of a
    // bulletin share it, so the text made for the last one is used again.
    void headingObject(std::string_view key, const BulletinHeading& heading);
    PLUVANE_INLINE void beginObject(std::string_view key) override { open(key, '{'); }
    PLUVANE_INLINE void endObject() override { close('}'); }
    PLUVANE_INLINE void beginArray(std::string_view key) override { open(key, '['); }
    PLUVANE_INLINE void endArray() override { close(']'); }
    void flush()
    {
        if (at_ == stage_) return;
        out_.append(stage_, static_cast<size_t>(at_ - stage_));
        at_ = stage_;
    }

    static void appendString(std::string& out, std::string_view utf8);
    static void appendNumber(std::string& out, double value);
    // The same forms written at `at`, which has room for the worst case (six
    // bytes a byte of text plus the quotes and eight bytes of slack; 32 for
    // a number); the end returned.
    static char* writeString(char* at, std::string_view utf8);
    PLUVANE_INLINE static char* writeNumber(char* at, double value)
    {
        // Most values are whole tenths: their shortest form is the tenths
        // themselves, written without the general algorithm's cost. The
        // rounding needs no care: a wrong guess fails the check below.
        if (value > -1e9 && value < 1e9) {
            const double scaled = value * 10;
            const long long tenths = static_cast<long long>(scaled + (scaled < 0 ? -0.5 : 0.5));
            if (static_cast<double>(tenths) / 10 == value) return writeTenths(at, tenths);
        }
        return writeOtherNumber(at, value);
    }

private:
    static constexpr size_t kStage = 2048;
    // The most a value of known size writes past the staging area's end: a
    // key (a longer one goes straight to the buffer), its quotes and colon,
    // a number (32) and the comma.
    static constexpr size_t kLongestKey = 64;
    static constexpr size_t kSlack = kLongestKey + 3 + 32 + 1;
    // Room for n more bytes in the staging area; false when they never fit.
    PLUVANE_INLINE bool room(size_t n)
    {
        if (static_cast<size_t>(stage_ + kStage - at_) >= n) return true;
        flush();
        return n <= kStage;
    }
    // A value's end: its comma written, the staging area handed on once it
    // reaches into the slack.
    PLUVANE_INLINE void ended(char* at)
    {
        *at++ = ',';
        at_ = at;
        if (at >= stage_ + kStage) flush();
    }
    // The key written; where the value goes returned. The writing goes
    // through a local pointer: a store through a char pointer could alias
    // the members, which the compiler would then read again after every byte.
    PLUVANE_INLINE char* keyed(std::string_view key)
    {
        if (key.size() > kLongestKey) [[unlikely]]
            return longKey(key);
        char* at = at_;
        if (key.empty()) return at;
        *at++ = '"';
        detail::copyShort(at, key.data(), key.size());
        at += key.size();
        at[0] = '"';
        at[1] = ':';
        return at + 2;
    }
    PLUVANE_INLINE void open(std::string_view key, char bracket)
    {
        char* const at = keyed(key);
        *at = bracket;
        at_ = at + 1;
        ++depth_;
        if (at_ >= stage_ + kStage) flush();
    }
    PLUVANE_INLINE void close(char bracket)
    {
        char* at = at_;
        if (at == stage_) dropHandedOnComma();
        else if (at[-1] == ',') --at;
        *at++ = bracket;
        if (--depth_ > 0) {
            ended(at);
        } else {
            at_ = at;
            flush();
        }
    }
    PLUVANE_INLINE static char* writeTenths(char* at, long long tenths)
    {
        if (tenths < 0) {
            *at++ = '-';
            tenths = -tenths;
        }
        at = detail::writeWhole(at, static_cast<unsigned long long>(tenths / 10));
        if (const int fraction = static_cast<int>(tenths % 10)) {
            *at++ = '.';
            *at++ = static_cast<char>('0' + fraction);
        }
        return at;
    }
    static char* writeOtherNumber(char* at, double value);
    // A value already written as JSON, copied as it is.
    void rawValue(std::string_view key, std::string_view json);
    void longText(std::string_view key, std::string_view utf8);
    char* longKey(std::string_view key);
    // The last value's comma, when the staging area was handed on after it.
    void dropHandedOnComma();

    std::string& out_;
    char* at_ = stage_;
    int depth_ = 0;
    char stage_[kStage + kSlack];
};

// One CSV row over fixed columns: nested values other than the heading are
// JSON's alone; lists are joined by "; ".
class CsvRow final : public FieldSink {
public:
    explicit CsvRow(const std::vector<std::string>& columns);
    void clear();
    // The row, CR LF ended, appended to out.
    void appendTo(std::string& out) const;

    void integer(std::string_view key, long long value) override;
    void number(std::string_view key, double value) override;
    void text(std::string_view key, std::string_view utf8) override;
    void boolean(std::string_view key, bool value) override;
    void null(std::string_view key) override;
    void beginObject(std::string_view key) override;
    void endObject() override;
    void beginArray(std::string_view key) override;
    void endArray() override;

private:
    std::string* field(std::string_view key);
    void put(std::string_view key, std::string_view value);

    // The column of a key, or -1: a small open-addressed table over a cheap
    // hash of the name, as every value of every row is looked up here.
    int columnOf(std::string_view key) const;
    static size_t nameHash(std::string_view key)
    {
        return key.size() * 131 + static_cast<unsigned char>(key[0]) * 31
            + static_cast<unsigned char>(key[key.size() - 1]) * 7 + static_cast<unsigned char>(key[key.size() / 2]);
    }

    std::vector<std::string> names_;  // the columns
    std::vector<int> slots_;          // a column's number + 1 at its name's hash or after; 0: empty
    std::vector<std::string> fields_;
    std::string scratch_;
    int depth_ = 0;
    bool inHeader_ = false;
    std::string* list_ = nullptr;  // the top-level list being joined
    bool listStarted_ = false;
};

// Where in text the first byte that `marked` flags is (text.size() when
// none): eight bytes at a time. `marked` takes a word of eight bytes and
// returns it with the high bit of each flagged byte set; a flag may spill
// into the bytes above a flagged one, never below.
template <typename Marks>
size_t firstFlagged(std::string_view text, Marks marked)
{
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (const uint64_t flags = marked(word)) return i + static_cast<size_t>(__builtin_ctzll(flags)) / 8;
    }
    if (i == text.size()) return i;
    uint64_t word = 0x4141414141414141ULL;  // the tail padded with plain letters
    std::memcpy(&word, text.data() + i, text.size() - i);
    const uint64_t flags = marked(word);
    return flags ? i + static_cast<size_t>(__builtin_ctzll(flags)) / 8 : text.size();
}

// The high bit of each byte of x that equals c, for firstFlagged.
inline uint64_t bytesEqual(uint64_t x, char c)
{
    constexpr uint64_t ones = 0x0101010101010101ULL;
    const uint64_t v = x ^ (ones * static_cast<unsigned char>(c));
    return (v - ones) & ~v & (ones * 0x80);
}

// The length of the whole UTF-8 sequence of two to four bytes that starts
// at p (a byte of 0x80 or more), or 0 when it is none: a lone continuation
// byte, a cut sequence, an overlong form, a surrogate or past U+10FFFF.
// Teletype text from other decoders carries Latin-1 and noise.
inline size_t utf8SequenceLength(const char* p, const char* end)
{
    const auto c = static_cast<unsigned char>(p[0]);
    const size_t length = c >= 0xf0 && c < 0xf5 ? 4 : c >= 0xe0 && c < 0xf0 ? 3 : c >= 0xc2 && c < 0xe0 ? 2 : 0;
    if (length == 0 || length > static_cast<size_t>(end - p)) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(p[k]) & 0xc0) != 0x80) return 0;
    const auto c1 = static_cast<unsigned char>(p[1]);
    if (length == 3 && ((c == 0xe0 && c1 < 0xa0) || (c == 0xed && c1 >= 0xa0))) return 0;  // overlong, surrogates
    if (length == 4 && ((c == 0xf0 && c1 < 0x90) || (c == 0xf4 && c1 >= 0x90))) return 0;
    return length;
}

// The high bit of each byte of x below 0x20, for firstFlagged.
inline uint64_t controlBytes(uint64_t x)
{
    constexpr uint64_t ones = 0x0101010101010101ULL;
    return (x - ones * 0x20) & ~x & (ones * 0x80);
}

// A number as printf's %.10g writes it (CSV and KML values), into text of
// 32 bytes; its length returned.
size_t writeTenDigits(char* text, double value);

// 2026-03-08T06:00:00Z from ms since 1970 UTC, as ISO 8601 writes a UTC
// time; nothing for a year outside 0 to 9999, which it cannot write.
void appendIsoUtc(std::string& out, int64_t utcMs);
// The same into text, which has room for 32 bytes; its length returned.
size_t writeIsoUtc(char* text, int64_t utcMs);

}  // namespace synop

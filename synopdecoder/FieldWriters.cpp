#include "synopdecoder/FieldWriters.h"

#include "synopdecoder/ObservationMillis.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace synop {

namespace {

// Numbers that are written again and again, mostly the stations' positions
// from the list, keep their text in a small table per thread, found by the
// value's bits: formatting a double costs far more than the lookup. Each
// value may sit in either of two neighbouring slots, and a new one pushes
// the older of the two out: with one slot, two stations of a bulletin whose
// positions met in a slot would push each other out on every report.
template <size_t Slots, size_t TextBytes, typename Format>
std::string_view rememberedText(double value, Format format)
{
    static_assert(std::has_single_bit(Slots) && Slots >= 2 && TextBytes < 256);
    struct Written {
        uint64_t bits = 0;
        uint8_t length = 0;
        char text[TextBytes];
    };
    thread_local Written table[Slots];
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    constexpr int kShift = 64 - std::countr_zero(Slots / 2);
    Written* const pair = table + 2 * (((bits ^ (bits >> 31)) * 0x9e3779b97f4a7c15ULL) >> kShift);
    if (pair[0].length != 0 && pair[0].bits == bits) return {pair[0].text, pair[0].length};
    if (pair[1].length != 0 && pair[1].bits == bits) return {pair[1].text, pair[1].length};
    pair[1] = pair[0];
    pair[0].length = static_cast<uint8_t>(format(pair[0].text, sizeof pair[0].text));
    pair[0].bits = bits;
    return {pair[0].text, pair[0].length};
}

}  // namespace

// --- JSON ---

char* JsonWriter::writeOtherNumber(char* at, double value)
{
    if (!std::isfinite(value)) {
        std::memcpy(at, "null", 4);
        return at + 4;
    }
    // Shortest text that reads back as the same value: up to 24 bytes
    // (a sign, seventeen figures, the point and an exponent of three figures).
    const std::string_view text = rememberedText<2048, 24>(value, [value](char* into, size_t size) {
        return static_cast<size_t>(std::to_chars(into, into + size, value).ptr - into);
    });
    detail::copyShort(at, text.data(), text.size());
    return at + text.size();
}

void JsonWriter::appendNumber(std::string& out, double value)
{
    char text[32];
    out.append(text, static_cast<size_t>(writeNumber(text, value) - text));
}

namespace {

// The bytes of a word of text that JSON takes as they are: printable ASCII
// other than the quote and the backslash. Zero when all eight are.
inline uint64_t escapedBytes(uint64_t x)
{
    constexpr uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
    auto zeroByte = [](uint64_t v) { return (v - ones) & ~v; };
    // Below 0x20 borrows into the high bit; 0x80 and above have it already.
    return (zeroByte(x ^ (ones * '"')) | zeroByte(x ^ (ones * '\\')) | (x - ones * 0x20) | x) & highs;
}

}  // namespace

namespace {

// The last one to seven bytes of a text as a word, padded with plain letters
// above them: read without a call and without touching a byte past the text.
inline uint64_t tailWord(const char* p, size_t n)
{
    uint64_t word = 0;
    if (n >= 4) {
        uint32_t low, high;
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + n - 4, 4);  // overlaps low where n < 8: the same bytes
        word = low | (static_cast<uint64_t>(high) << (8 * (n - 4)));
    } else {
        for (size_t i = 0; i < n; ++i) word |= static_cast<uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    }
    return word | (0x4141414141414141ULL & ~((1ULL << (8 * n)) - 1));
}

}  // namespace

char* JsonWriter::writeString(char* at, std::string_view s)
{
    static const char kHex[] = "0123456789abcdef";
    *at++ = '"';
    const char* p = s.data();
    const char* const end = p + s.size();
    while (p < end) {
        const size_t left = static_cast<size_t>(end - p);
        size_t plain;  // bytes that go as they are before one that needs care
#if defined(__SSE2__)
        if (left >= 16) {
            // Sixteen bytes at a time: those below 0x20 and from 0x80 up are
            // the ones below 0x20 when taken as signed. Stored whole, as the
            // words below are; there is room, as six bytes a byte are left.
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v);
            const __m128i escaped = _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20)),
                                                 _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                                              _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))));
            const int mask = _mm_movemask_epi8(escaped);
            if (!mask) {
                at += 16;
                p += 16;
                continue;
            }
            plain = static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        } else
#endif
        if (left > 8) {
            // Nine to fifteen bytes, a short text or a long one's tail: two
            // words that overlap, stored whole (what follows writes over
            // anything past the plain bytes). With no flag in the first
            // word, the lowest flag of the second is a real one.
            uint64_t first, last;
            std::memcpy(&first, p, 8);
            std::memcpy(&last, p + left - 8, 8);
            std::memcpy(at, &first, 8);
            std::memcpy(at + left - 8, &last, 8);
            if (const uint64_t marked = escapedBytes(first)) {
                plain = static_cast<size_t>(__builtin_ctzll(marked)) / 8;
            } else if (const uint64_t marked = escapedBytes(last)) {
                plain = left - 8 + static_cast<size_t>(__builtin_ctzll(marked)) / 8;
            } else {
                at += left;
                p += left;
                continue;
            }
        } else {
            uint64_t word;
            if (left == 8) std::memcpy(&word, p, 8);
            else word = tailWord(p, left);
            // The whole word is stored and only its plain bytes counted: what
            // follows writes over the rest (the caller leaves eight bytes of slack).
            std::memcpy(at, &word, 8);
            const uint64_t marked = escapedBytes(word);
            if (!marked) {
                const size_t taken = left >= 8 ? 8 : left;
                at += taken;
                p += taken;
                continue;
            }
            // The lowest flagged byte is a real one: a borrow only runs upwards.
            plain = static_cast<size_t>(__builtin_ctzll(marked)) / 8;
        }
        at += plain;
        p += plain;
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
            *at++ = static_cast<char>(c);
            ++p;
            continue;
        }
        if (c >= 0x80) {
            // A whole UTF-8 sequence passes; anything else is one U+FFFD a byte.
            if (const size_t length = utf8SequenceLength(p, end)) {
                std::memcpy(at, p, length);
                at += length;
                p += length;
            } else {
                std::memcpy(at, "\xef\xbf\xbd", 3);
                at += 3;
                ++p;
            }
            continue;
        }
        *at++ = '\\';
        switch (c) {
        case '"': *at++ = '"'; break;
        case '\\': *at++ = '\\'; break;
        case '\n': *at++ = 'n'; break;
        case '\r': *at++ = 'r'; break;
        case '\t': *at++ = 't'; break;
        default: {
            const char escaped[] = {'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
            std::memcpy(at, escaped, 5);
            at += 5;
        }
        }
        ++p;
    }
    *at++ = '"';
    return at;
}

void JsonWriter::appendString(std::string& out, std::string_view s)
{
    const size_t before = out.size();
    out.resize(before + 6 * s.size() + 2 + 8);
    char* const end = writeString(out.data() + before, s);
    out.resize(static_cast<size_t>(end - out.data()));
}

void JsonWriter::longText(std::string_view key, std::string_view utf8)
{
    // Longer than the staging area: straight into the buffer.
    at_ = keyed(key);
    flush();
    appendString(out_, utf8);
    out_ += ',';
}

char* JsonWriter::longKey(std::string_view key)
{
    flush();
    out_ += '"';
    out_.append(key);
    out_.append("\":");
    return at_;
}

void JsonWriter::dropHandedOnComma()
{
    if (!out_.empty() && out_.back() == ',') out_.pop_back();
}

void JsonWriter::rawValue(std::string_view key, std::string_view json)
{
    if (room(key.size() + 4 + json.size() + 1)) {
        char* const at = keyed(key);
        std::memcpy(at, json.data(), json.size());
        ended(at + json.size());
        return;
    }
    at_ = keyed(key);
    flush();
    out_.append(json);
    out_ += ',';
}

void JsonWriter::headingObject(std::string_view key, const BulletinHeading& heading)
{
    struct Kept {
        BulletinHeading heading;
        std::string json;
        bool known = false;
    };
    thread_local Kept kept;
    const bool unchanged = kept.known && kept.heading == heading;
    if (!unchanged) {
        kept.json.clear();
        {
            JsonWriter object(kept.json);
            object.beginObject({});
            object.text("ttaaii", heading.ttaaii);
            object.text("cccc", heading.cccc);
            object.text("yygggg", heading.yygggg);
            object.text("bbb", heading.bbb);
            object.endObject();
        }
        kept.heading = heading;
        kept.known = true;
    }
    rawValue(key, kept.json);
}

// --- CSV ---

CsvRow::CsvRow(const std::vector<std::string>& columns) : names_(columns), fields_(columns.size())
{
    size_t size = 64;
    while (size < 4 * names_.size()) size *= 2;
    slots_.assign(size, 0);
    for (size_t i = 0; i < names_.size(); ++i) {
        if (names_[i].empty() || columnOf(names_[i]) >= 0) continue;  // the first of a name given twice, as before
        size_t at = nameHash(names_[i]) & (size - 1);
        while (slots_[at]) at = (at + 1) & (size - 1);
        slots_[at] = static_cast<int>(i) + 1;
    }
}

int CsvRow::columnOf(std::string_view key) const
{
    if (key.empty()) return -1;
    const size_t mask = slots_.size() - 1;
    for (size_t at = nameHash(key) & mask; slots_[at]; at = (at + 1) & mask) {
        const int column = slots_[at] - 1;
        if (names_[static_cast<size_t>(column)] == key) return column;
    }
    return -1;
}

void CsvRow::clear()
{
    for (std::string& f : fields_) f.clear();
    depth_ = 0;
    inHeader_ = false;
    list_ = nullptr;
}

std::string* CsvRow::field(std::string_view key)
{
    if (inHeader_) {
        scratch_.assign("header_").append(key);
        key = scratch_;
    }
    const int column = columnOf(key);
    return column < 0 ? nullptr : &fields_[static_cast<size_t>(column)];
}

void CsvRow::put(std::string_view key, std::string_view value)
{
    if (list_ && depth_ == 1) {
        if (listStarted_) list_->append("; ");
        listStarted_ = true;
        list_->append(value);
        return;
    }
    if (depth_ > 1 || (depth_ == 1 && !inHeader_)) return;  // nested values are JSON's alone
    if (std::string* f = field(key)) f->assign(value);
}

void CsvRow::integer(std::string_view key, long long value)
{
    char text[24];
    put(key, std::string_view(text, static_cast<size_t>(std::to_chars(text, text + sizeof text, value).ptr - text)));
}

size_t writeTenDigits(char* text, double value)
{
    // Whole tenths, most values, come out of printf's %.10g as the tenths
    // themselves; written here without printf's cost.
    if (value > -1e8 && value < 1e8 && !(value == 0 && std::signbit(value))) {
        const long long tenths = std::llround(value * 10);
        if (static_cast<double>(tenths) / 10 == value) {
            char* at = text;
            if (tenths < 0 && tenths > -10) *at++ = '-';
            at = std::to_chars(at, at + 24, tenths / 10).ptr;
            if (tenths % 10 != 0) {
                *at++ = '.';
                *at++ = static_cast<char>('0' + std::llabs(tenths % 10));
            }
            return static_cast<size_t>(at - text);
        }
    }
    // printf's %.10g in the C locale, whatever locale the program runs in:
    // a decimal comma would split a CSV column.
    const std::string_view written = rememberedText<512, 31>(value, [value](char* into, size_t size) {
        return static_cast<size_t>(std::to_chars(into, into + size, value, std::chars_format::general, 10).ptr - into);
    });
    std::memcpy(text, written.data(), written.size());
    return written.size();
}

void CsvRow::number(std::string_view key, double value)
{
    char text[32];
    put(key, std::string_view(text, writeTenDigits(text, value)));  // the columns' precision since the first version
}

void CsvRow::text(std::string_view key, std::string_view utf8) { put(key, utf8); }
void CsvRow::boolean(std::string_view key, bool value) { put(key, value ? "true" : "false"); }
void CsvRow::null(std::string_view key) { put(key, {}); }

void CsvRow::beginObject(std::string_view key)
{
    if (depth_ == 0 && key == "header") inHeader_ = true;
    ++depth_;
}

void CsvRow::endObject()
{
    if (--depth_ == 0) inHeader_ = false;
}

void CsvRow::beginArray(std::string_view key)
{
    if (depth_ == 0) {
        list_ = field(key);
        listStarted_ = false;
    }
    ++depth_;
}

void CsvRow::endArray()
{
    if (--depth_ == 0) list_ = nullptr;
}

void CsvRow::appendTo(std::string& out) const
{
    static const std::array<bool, 256> kQuoted = [] {
        std::array<bool, 256> quoted{};
        for (const unsigned char c : std::string_view(",\"\r\n")) quoted[c] = true;
        return quoted;
    }();
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (i) out += ',';
        const std::string& f = fields_[i];
        if (std::none_of(f.begin(), f.end(), [](char c) { return kQuoted[static_cast<unsigned char>(c)]; })) {
            out += f;
            continue;
        }
        // Quoted, a quote inside doubled.
        out += '"';
        size_t run = 0;
        for (size_t quote = f.find('"'); quote != std::string::npos; quote = f.find('"', quote + 1)) {
            out.append(f, run, quote + 1 - run);
            out += '"';
            run = quote + 1;
        }
        out.append(f, run);
        out += '"';
    }
    out += "\r\n";
}

static size_t writeIsoUtcOnce(char* out, int64_t ms);

size_t writeIsoUtc(char* out, int64_t ms)
{
    // The reports of a bulletin share their time, and a day's traffic has a
    // few hundred times at most: their texts are kept in a small table that
    // forgets on a clash.
    struct Kept {
        int64_t ms = std::numeric_limits<int64_t>::min();
        char text[32];
        size_t length = 0;
    };
    thread_local std::array<Kept, 64> kept;
    Kept& k = kept[(static_cast<uint64_t>(ms / 60000) * 0x9e3779b97f4a7c15ull) >> 58];
    if (k.ms == ms) {
        std::memcpy(out, k.text, sizeof k.text);  // out has room for all 32
        return k.length;
    }
    const size_t length = writeIsoUtcOnce(out, ms);
    k.ms = ms;
    std::memcpy(k.text, out, length);
    k.length = length;
    return length;
}

static size_t writeIsoUtcOnce(char* out, int64_t ms)
{
    int64_t days = ms / 86400000, inDay = ms % 86400000;
    if (inDay < 0) {
        inDay += 86400000;
        --days;
    }
    long long year = 0;
    int month = 0, day = 0;
    civilFromDays(days, year, month, day);
    const int seconds = static_cast<int>(inDay / 1000);
    if (year < 0 || year > 9999) return 0;
    char text[] = "0000-00-00T00:00:00Z";
    auto two = [&](int at, int value) {
        text[at] = static_cast<char>('0' + value / 10);
        text[at + 1] = static_cast<char>('0' + value % 10);
    };
    two(0, static_cast<int>(year / 100));
    two(2, static_cast<int>(year % 100));
    two(5, month);
    two(8, day);
    two(11, seconds / 3600);
    two(14, seconds / 60 % 60);
    two(17, seconds % 60);
    std::memcpy(out, text, sizeof text - 1);
    return sizeof text - 1;
}

void appendIsoUtc(std::string& out, int64_t utcMs)
{
    char text[32];
    out.append(text, writeIsoUtc(text, utcMs));
}

}  // namespace synop

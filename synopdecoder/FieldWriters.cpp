#include "synopdecoder/FieldWriters.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace synop {

// --- JSON ---

void JsonWriter::appendNumber(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        out.append("null");
        return;
    }
    // Most values are whole tenths: their shortest form is the tenths
    // themselves, written without the general algorithm's cost.
    if (value > -1e9 && value < 1e9) {
        const long long tenths = std::llround(value * 10);
        if (static_cast<double>(tenths) / 10 == value) {
            char text[24];
            char* end = std::to_chars(text, text + sizeof text, tenths / 10).ptr;
            if (tenths < 0 && tenths > -10) {  // -0.5: the quotient lost the sign
                out += '-';
            }
            out.append(text, static_cast<size_t>(end - text));
            if (tenths % 10 != 0) {
                out += '.';
                out += static_cast<char>('0' + std::llabs(tenths % 10));
            }
            return;
        }
    }
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;  // shortest that reads back the same
    out.append(text, static_cast<size_t>(end - text));
}

void JsonWriter::appendString(std::string& out, std::string_view s)
{
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    size_t run = 0;  // bytes taken as they are, appended in one go
    auto flush = [&](size_t at) {
        if (at > run) out.append(s.data() + run, at - run);
    };
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
            ++i;
            continue;
        }
        if (c >= 0x80) {
            // A whole UTF-8 sequence passes; anything else is one U+FFFD a byte.
            const size_t length = c >= 0xf0 && c < 0xf5 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c < 0xe0 ? 2 : 0;
            bool valid = length > 0 && i + length <= s.size();
            for (size_t k = 1; valid && k < length; ++k) valid = (static_cast<unsigned char>(s[i + k]) & 0xc0) == 0x80;
            if (valid && length == 3) {
                const auto c1 = static_cast<unsigned char>(s[i + 1]);
                valid = !(c == 0xe0 && c1 < 0xa0) && !(c == 0xed && c1 >= 0xa0);  // overlong, surrogates
            }
            if (valid && length == 4) {
                const auto c1 = static_cast<unsigned char>(s[i + 1]);
                valid = !(c == 0xf0 && c1 < 0x90) && !(c == 0xf4 && c1 >= 0x90);
            }
            if (valid) {
                i += length;
                continue;
            }
            flush(i);
            out.append("\xef\xbf\xbd");
            run = ++i;
            continue;
        }
        flush(i);
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default: {
            const char escaped[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
            out.append(escaped, 6);
        }
        }
        run = ++i;
    }
    flush(s.size());
    out += '"';
}

void JsonWriter::keyed(std::string_view key)
{
    if (!first_) out_ += ',';
    first_ = false;
    if (!key.empty()) {
        out_ += '"';
        out_.append(key);
        out_.append("\":", 2);
    }
}

void JsonWriter::integer(std::string_view key, long long value)
{
    keyed(key);
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out_.append(text, end - text);
}

void JsonWriter::number(std::string_view key, double value)
{
    keyed(key);
    appendNumber(out_, value);
}

void JsonWriter::text(std::string_view key, std::string_view utf8)
{
    keyed(key);
    appendString(out_, utf8);
}

void JsonWriter::boolean(std::string_view key, bool value)
{
    keyed(key);
    out_.append(value ? "true" : "false");
}

void JsonWriter::null(std::string_view key)
{
    keyed(key);
    out_.append("null");
}

void JsonWriter::beginObject(std::string_view key)
{
    keyed(key);
    out_ += '{';
    first_ = true;
}

void JsonWriter::endObject()
{
    out_ += '}';
    first_ = false;
}

void JsonWriter::beginArray(std::string_view key)
{
    keyed(key);
    out_ += '[';
    first_ = true;
}

void JsonWriter::endArray()
{
    out_ += ']';
    first_ = false;
}

// --- CSV ---

CsvRow::CsvRow(const QStringList& columns) : fields_(static_cast<size_t>(columns.size()))
{
    for (const QString& column : columns) names_.push_back(column.toStdString());
    for (size_t i = 0; i < names_.size(); ++i) index_.emplace(names_[i], i);
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
    const auto found = index_.find(key);
    return found == index_.end() ? nullptr : &fields_[found->second];
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

void CsvRow::number(std::string_view key, double value)
{
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%.10g", value);  // the columns' precision since the first version
    put(key, std::string_view(text, static_cast<size_t>(length)));
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
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (i) out += ',';
        const std::string& f = fields_[i];
        if (f.find_first_of(",\"\r\n") == std::string::npos) {
            out += f;
            continue;
        }
        out += '"';
        for (char c : f) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    out += "\r\n";
}

void appendIsoUtc(std::string& out, const QDateTime& utc)
{
    // Days since 1970 to the civil date (H. Hinnant's algorithm).
    const qint64 ms = utc.toMSecsSinceEpoch();
    qint64 days = ms / 86400000, inDay = ms % 86400000;
    if (inDay < 0) {
        inDay += 86400000;
        --days;
    }
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 dayOfEra = days - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 mp = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const long long year = yearOfEra + era * 400 + (month <= 2);
    const int seconds = static_cast<int>(inDay / 1000);
    if (year < 0 || year > 9999) {
        out += utc.toUTC().toString(Qt::ISODate).toStdString();
        return;
    }
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
    out.append(text, sizeof text - 1);
}

// --- QJsonObject ---

void JsonObjectBuilder::put(std::string_view key, const QJsonValue& value)
{
    Level& level = stack_.back();
    if (level.array) level.list.append(value);
    else level.object.insert(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())), value);
}

void JsonObjectBuilder::beginObject(std::string_view key)
{
    stack_.push_back({QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())), false, {}, {}});
}

void JsonObjectBuilder::beginArray(std::string_view key)
{
    stack_.push_back({QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())), true, {}, {}});
}

void JsonObjectBuilder::endObject()
{
    Level done = std::move(stack_.back());
    stack_.pop_back();
    put(done.key.toStdString(), done.object);
}

void JsonObjectBuilder::endArray()
{
    Level done = std::move(stack_.back());
    stack_.pop_back();
    put(done.key.toStdString(), done.list);
}

QJsonObject JsonObjectBuilder::take()
{
    QJsonObject o = std::move(stack_.front().object);
    stack_ = {Level{{}, false, {}, {}}};
    return o;
}

}  // namespace synop

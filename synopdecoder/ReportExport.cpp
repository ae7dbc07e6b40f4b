#include "synopdecoder/ReportExport.h"

#include "synopdecoder/FieldWriters.h"
#include "synopdecoder/ReportFieldsWalk.h"
#include "synopdecoder/ReportFormat.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace synop {
namespace {

// The bytes XML text cannot take as they are: the markup characters and
// the control characters; and those of 0x80 or more, looked at for whole
// UTF-8 sequences (the document says it is UTF-8).
const std::array<bool, 256> kXmlMarkup = [] {
    std::array<bool, 256> markup{};
    for (int c = 0; c < 0x20; ++c) markup[static_cast<size_t>(c)] = true;
    for (int c = 0x80; c < 0x100; ++c) markup[static_cast<size_t>(c)] = true;
    for (const unsigned char c : std::string_view("&<>\"")) markup[c] = true;
    return markup;
}();

// The first byte at or after p that appendXml must look at, or end.
const char* nextMarkup(const char* p, const char* end)
{
#if defined(__SSE2__)
    // Sixteen bytes at a time: a control character is one that 0x1f less
    // (saturating) leaves at zero.
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i markup = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('&')), _mm_cmpeq_epi8(v, _mm_set1_epi8('<'))),
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('>')), _mm_cmpeq_epi8(v, _mm_set1_epi8('"'))),
                         _mm_cmpeq_epi8(_mm_subs_epu8(v, _mm_set1_epi8(0x1f)), _mm_setzero_si128())));
        // The high bit of a byte of 0x80 or more is its own flag.
        if (const int mask = _mm_movemask_epi8(_mm_or_si128(markup, v)))
            return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    while (p < end && !kXmlMarkup[static_cast<unsigned char>(*p)]) ++p;
    return p;
}

// XML text written at `at`, which has room for six bytes a byte of text:
// the markup characters escaped, and the control characters a noisy
// teletype line can carry (XML 1.0 has no place for them) and bytes that
// are no UTF-8 replaced by U+FFFD: one such byte would make the whole
// document unreadable. The end returned.
char* writeXml(char* at, std::string_view text)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* const markup = nextMarkup(p, end);
        detail::copyShort(at, p, static_cast<size_t>(markup - p));  // plain bytes, in one go
        at += markup - p;
        if (markup == end) break;
        const char c = *markup;
        auto put = [&](const char* replacement, size_t length) {
            std::memcpy(at, replacement, length);
            at += length;
        };
        switch (c) {
        case '&': put("&amp;", 5); break;
        case '<': put("&lt;", 4); break;
        case '>': put("&gt;", 4); break;
        case '"': put("&quot;", 6); break;
        case '\n':
        case '\t':
        case '\r': *at++ = c; break;  // which XML keeps
        default:
            if (static_cast<unsigned char>(c) >= 0x80) {
                const size_t length = utf8SequenceLength(markup, end);
                // U+FFFE and U+FFFF are UTF-8 but no XML character.
                const bool noCharacter = length == 3 && std::string_view(markup, 2) == "\xef\xbf"
                                         && static_cast<unsigned char>(markup[2]) >= 0xbe;
                if (length && !noCharacter) {
                    std::memcpy(at, markup, length);
                    at += length;
                    p = markup + length;
                    continue;
                }
            }
            put("\xef\xbf\xbd", 3);
        }
        p = markup + 1;
    }
    return at;
}

// A piece of markup written at `at`; the end returned.
template <size_t N>
char* put(char* at, const char (&markup)[N])
{
    std::memcpy(at, markup, N - 1);
    return at + N - 1;
}

// A key of the walk over a report's fields: letters, figures and '_' only,
// which XML takes as they are.
char* putName(char* at, std::string_view key)
{
    detail::copyShort(at, key.data(), key.size());
    return at + key.size();
}

// "%.4f,%.4f" of a position, as printf writes it in the C locale, whatever
// locale the program runs in (a decimal comma would make four numbers of
// two); its answers are kept in a small table, as the stations come again
// and again. Room for 720 bytes from at, or for size.
char* writeCoordinatesOnce(char* at, size_t size, double lon, double lat)
{
    char* const end = at + size;
    at = std::to_chars(at, end, lon, std::chars_format::fixed, 4).ptr;
    *at++ = ',';
    return std::to_chars(at, end, lat, std::chars_format::fixed, 4).ptr;
}

char* writeCoordinates(char* at, double lon, double lat)
{
    if (!(std::fabs(lon) < 1e6 && std::fabs(lat) < 1e6))
        return writeCoordinatesOnce(at, 720, lon, lat);  // no position a list or report gives
    struct Written {
        uint64_t lon = 0, lat = 0;
        uint8_t length = 0;
        char text[47];
    };
    thread_local Written table[256];
    uint64_t lonBits, latBits;
    std::memcpy(&lonBits, &lon, 8);
    std::memcpy(&latBits, &lat, 8);
    const uint64_t mixed = (lonBits ^ (latBits * 0x9e3779b97f4a7c15ULL)) * 0xff51afd7ed558ccdULL;
    Written& slot = table[mixed >> 56];
    if (slot.length == 0 || slot.lon != lonBits || slot.lat != latBits) {
        slot.length = static_cast<uint8_t>(writeCoordinatesOnce(slot.text, sizeof slot.text, lon, lat) - slot.text);
        slot.lon = lonBits;
        slot.lat = latBits;
    }
    std::memcpy(at, slot.text, slot.length);
    return at + slot.length;
}

// The values of a placemark as text: one "key: value" line each for the
// description, and the same pairs for ExtendedData. Lists are joined by
// ", " (a figure not reported is "/"), nested objects by "; ". Its strings
// are used again from one placemark to the next.
class KmlValues final : public FieldSink {
public:
    struct Pair {
        std::string key, value;
    };
    void clear()
    {
        used_ = 0;
        stack_.clear();
    }
    const Pair* begin() const { return pairs_.data(); }
    const Pair* end() const { return pairs_.data() + used_; }

    void integer(std::string_view key, long long value) override
    {
        char text[24];
        add(key, std::string_view(text, static_cast<size_t>(std::to_chars(text, text + sizeof text, value).ptr - text)));
    }
    void number(std::string_view key, double value) override
    {
        char text[32];
        add(key, std::string_view(text, writeTenDigits(text, value)));
    }
    void text(std::string_view key, std::string_view utf8) override { add(key, utf8); }
    void boolean(std::string_view key, bool value) override { add(key, value ? "true" : "false"); }
    void null(std::string_view key) override { add(key, "/"); }
    void beginObject(std::string_view key) override { open(key, "; "); }
    void endObject() override { close(); }
    void beginArray(std::string_view key) override { open(key, ", "); }
    void endArray() override { close(); }

private:
    struct Open {
        const char* separator;
        bool started = false;
    };
    std::string& push(std::string_view key)
    {
        if (used_ == pairs_.size()) pairs_.emplace_back();
        Pair& pair = pairs_[used_++];
        pair.key.assign(key);
        pair.value.clear();
        return pair.value;
    }
    void add(std::string_view key, std::string_view value)
    {
        if (stack_.empty()) {
            push(key).assign(value);
            return;
        }
        std::string& into = pairs_[used_ - 1].value;
        if (stack_.back().started) into += stack_.back().separator;
        stack_.back().started = true;
        if (!key.empty() && stack_.back().separator[0] == ';') into.append(key).append(" ");
        into += value;
    }
    void open(std::string_view key, const char* separator)
    {
        if (stack_.empty()) push(key);
        else add(key, {});
        stack_.push_back({separator});
    }
    void close() { stack_.pop_back(); }
    std::vector<Pair> pairs_;
    size_t used_ = 0;
    std::vector<Open> stack_;
};

void appendPlacemark(std::string& out, const DecodedReport& r, const StationPlace& place, std::optional<int64_t> observedMs)
{
    thread_local KmlValues values;
    values.clear();
    const PlaceFields placed{place, observedMs};
    walkReportFields(r, values, &placed);
    // Room for the worst case, every byte of text escaped to six, written
    // without a check per piece.
    size_t room = 1280 + 6 * (r.station.size() + place.name.size() + r.raw.size());
    for (const auto& [key, value] : values) room += 12 * (key.size() + value.size()) + 64;
    for (const std::string& w : r.warnings) room += 6 * w.size() + 32;
    thread_local std::string scratch;  // grows to the largest placemark, then stays
    if (scratch.size() < room) scratch.resize(room);
    char* const start = scratch.data();
    char* at = start;

    // The element order of the KML 2.2 schema: name, description, TimeStamp,
    // ExtendedData, then the geometry.
    at = put(at, "  <Placemark>\n    <name>");
    at = writeXml(at, r.station);
    if (!place.name.empty()) {
        *at++ = ' ';
        at = writeXml(at, place.name);
    }
    at = put(at, "</name>\n    <description>");
    // Viewers render the description as HTML: one value a line. Escaped
    // piece by piece, which gives what escaping it whole would.
    for (const auto& [key, value] : values) {
        if (key == "raw" || key == "header" || key == "warnings") continue;
        at = putName(at, key);
        at = put(at, ": ");
        at = writeXml(at, value);
        at = put(at, "&lt;br/&gt;\n");
    }
    for (const std::string& w : r.warnings) {
        at = put(at, "warning: ");
        at = writeXml(at, w);
        at = put(at, "&lt;br/&gt;\n");
    }
    at = writeXml(at, r.raw);
    at = put(at, "</description>\n");
    if (observedMs) {
        at = put(at, "    <TimeStamp><when>");
        at += writeIsoUtc(at, *observedMs);
        at = put(at, "</when></TimeStamp>\n");
    }
    at = put(at, "    <ExtendedData>\n");
    for (const auto& [key, value] : values) {
        if (key == "header") continue;
        at = put(at, "      <Data name=\"");
        at = putName(at, key);
        at = put(at, "\"><value>");
        at = writeXml(at, value);
        at = put(at, "</value></Data>\n");
    }
    at = put(at, "    </ExtendedData>\n    <Point><coordinates>");
    at = writeCoordinates(at, *place.lon, *place.lat);
    if (place.elevationM) {
        *at++ = ',';
        at = std::to_chars(at, at + 16, *place.elevationM).ptr;
    }
    at = put(at, "</coordinates></Point>\n  </Placemark>\n");
    out.append(start, static_cast<size_t>(at - start));
}

}  // namespace

const std::vector<std::string>& exportedCsvColumns()
{
    // The decoder's first columns, then the place, then what came later, so
    // that readers of the older files still find theirs where they were.
    static const std::vector<std::string> columns = [] {
        std::vector<std::string> all = firstCsvColumns();
        for (const char* place : {"station_name", "country", "elevation_m", "observed_utc"}) all.emplace_back(place);
        all.insert(all.end(), laterCsvColumns().begin(), laterCsvColumns().end());
        return all;
    }();
    return columns;
}

ReportExporter::ReportExporter(ExportFormat format, Sink sink, std::string title)
    : format_(format), sink_(std::move(sink)), title_(std::move(title))
{
    // A batch's room made once (untouched pages cost nothing): grown by
    // doubling, the buffer would be copied and fresh pages touched at each step.
    buffer_.reserve(kBatch + 8192);
}

ReportExporter::~ReportExporter() = default;

void ReportExporter::begin()
{
    switch (format_) {
    case ExportFormat::Csv: sink_(csvHeaderLine(exportedCsvColumns())); break;
    case ExportFormat::JsonLines: break;
    case ExportFormat::JsonArray: sink_("["); break;
    case ExportFormat::GeoJson: sink_("{\"type\":\"FeatureCollection\",\"features\":["); break;
    case ExportFormat::Kml: {
        std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                           "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document><name>";
        const size_t at = head.size();
        head.resize(at + 6 * title_.size());
        head.resize(static_cast<size_t>(writeXml(head.data() + at, title_) - head.data()));
        head += "</name>\n";
        sink_(head);
        break;
    }
    }
}

void ReportExporter::add(const DecodedReport& r, const StationPlace& place, std::optional<int64_t> observedMs)
{
    const bool geographic = format_ == ExportFormat::GeoJson || format_ == ExportFormat::Kml;
    if (geographic && !place.hasPosition()) {
        ++leftOut_;
        return;
    }
    const PlaceFields placed{place, observedMs};
    switch (format_) {
    case ExportFormat::Csv:
        if (!csv_) csv_ = std::make_unique<CsvRow>(exportedCsvColumns());
        csv_->clear();
        walkReportFields(r, *csv_, &placed);
        csv_->appendTo(buffer_);
        break;
    case ExportFormat::JsonLines:
    case ExportFormat::JsonArray: {
        if (format_ == ExportFormat::JsonArray) buffer_.append(written_ ? ",\n" : "\n");
        JsonWriter json(buffer_);
        json.beginObject({});
        walkReportFields(r, json, &placed);
        json.endObject();
        if (format_ == ExportFormat::JsonLines) buffer_ += '\n';
        break;
    }
    case ExportFormat::GeoJson: {
        buffer_.append(written_ ? ",\n" : "\n");
        buffer_.append("{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[");
        JsonWriter::appendNumber(buffer_, *place.lon);
        buffer_ += ',';
        JsonWriter::appendNumber(buffer_, *place.lat);
        buffer_.append("]},\"properties\":");
        JsonWriter json(buffer_);
        json.beginObject({});
        walkReportFields(r, json, &placed);
        json.endObject();
        buffer_ += '}';
        break;
    }
    case ExportFormat::Kml: appendPlacemark(buffer_, r, place, observedMs); break;
    }
    ++written_;
    // Handed on in large pieces: a copy per report into the sink's buffer
    // cost as much as writing the report.
    if (buffer_.size() >= kBatch) flush();
}

void ReportExporter::flush()
{
    if (buffer_.empty()) return;
    sink_(buffer_);
    buffer_.clear();  // keeps its capacity: no allocation per batch once warm
}

void ReportExporter::end()
{
    flush();
    switch (format_) {
    case ExportFormat::Csv:
    case ExportFormat::JsonLines: break;
    case ExportFormat::JsonArray: sink_("\n]\n"); break;
    case ExportFormat::GeoJson: sink_("\n]}\n"); break;
    case ExportFormat::Kml: sink_("</Document>\n</kml>\n"); break;
    }
}

}  // namespace synop

// The SYNOP stream assembler and report decoder on any teletype text, cut
// into chunks anywhere: no crash, reports within the assembler's bounds, and
// the same reports whatever the chunking. Every decoded report is written
// in every export format, at an observation time taken from the input as
// well: JSON and KML must stay valid UTF-8 with no control character the
// format forbids, a JSON report one line.
#include "synopdecoder/ReportExport.h"
#include "synopdecoder/StationPlace.h"
#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

// Well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF).
bool isUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const size_t length = byte < 0x80 ? 1 : byte >= 0xc2 && byte <= 0xdf ? 2 : byte >= 0xe0 && byte <= 0xef ? 3
                            : byte >= 0xf0 && byte <= 0xf4 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        uint32_t code = length == 1 ? byte : byte & (0xff >> (length + 1));
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80) return false;
            code = (code << 6) | (next & 0x3f);
        }
        if ((length == 3 && (code < 0x800 || (code >= 0xd800 && code <= 0xdfff))) || (length == 4 && (code < 0x10000 || code > 0x10ffff)))
            return false;
        i += length;
    }
    return true;
}

// Written in every format; the invariants of the text formats checked.
void exportEverywhere(const synop::DecodedReport& report, std::optional<int64_t> observedMs)
{
    const synop::StationPlace place = synop::stationPlace(report);
    for (const synop::ExportFormat format : {synop::ExportFormat::JsonLines, synop::ExportFormat::Csv,
                                             synop::ExportFormat::GeoJson, synop::ExportFormat::Kml}) {
        std::string out;
        synop::ReportExporter exporter(format, [&out](std::string_view bytes) { out.append(bytes); });
        exporter.begin();
        exporter.add(report, place, observedMs);
        exporter.end();
        if (format == synop::ExportFormat::Csv) continue;  // fields as the report has them, quoted
        require(isUtf8(out), "JSON and KML are UTF-8");
        for (const char c : out) {
            const auto byte = static_cast<unsigned char>(c);
            require(byte >= 0x20 || c == '\n' || (format == synop::ExportFormat::Kml && (c == '\t' || c == '\r')),
                    "no control characters in JSON or KML");
        }
        if (format == synop::ExportFormat::Kml)
            require(out.find("\xef\xbf\xbe") == std::string::npos && out.find("\xef\xbf\xbf") == std::string::npos,
                    "no U+FFFE or U+FFFF in KML");
        if (format == synop::ExportFormat::JsonLines)
            require(out.size() >= 3 && out.front() == '{' && out.find('\n') == out.size() - 1, "one JSON line a report");
    }
}

std::vector<std::string> assemble(std::string_view text, size_t chunk, bool decodeToo, std::optional<int64_t> observedMs = {})
{
    std::vector<std::string> raws;
    synop::StreamAssembler assembler([&](synop::AssembledReport&& report) {
        // The cut comes after the group that reaches the bound, and a token of
        // groups run together may add several at once: at most a line's worth.
        require(report.groups.size() < synop::StreamAssembler::kMaxReportGroups + synop::StreamAssembler::kMaxLineLength,
                "groups within bound");
        raws.push_back(report.raw);
        if (decodeToo) {
            exportEverywhere(synop::decodeReport(report), observedMs);
            synop::decodeReport(std::move(report), {.plausibilityChecks = false, .describeGroups = false});
        }
    });
    for (size_t at = 0; at < text.size(); at += chunk) assembler.feed(text.substr(at, chunk));
    assembler.finish();
    return raws;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 9) return 0;
    const size_t chunk = 1 + data[0] % 32;
    // Any time at all, from before year 0 to past 9999, or none.
    int64_t ms = 0;
    std::memcpy(&ms, data + 1, sizeof ms);
    const std::optional<int64_t> observedMs = data[0] & 0x80 ? std::nullopt : std::optional<int64_t>(ms);
    const std::string_view text(reinterpret_cast<const char*>(data + 9), size - 9);
    const auto whole = assemble(text, text.size() + 1, true, observedMs);
    const auto chunked = assemble(text, chunk, false);
    require(whole == chunked, "the same reports whatever the chunking");
    return 0;
}

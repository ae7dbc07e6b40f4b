// The SYNOP stream assembler and report decoder on any teletype text, cut
// into chunks anywhere: no crash, reports within the assembler's bounds, and
// the same reports whatever the chunking.
#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

std::vector<std::string> assemble(std::string_view text, size_t chunk, bool decodeToo)
{
    std::vector<std::string> raws;
    synop::StreamAssembler assembler([&](synop::AssembledReport&& report) {
        // The cut comes after the group that reaches the bound, and a token of
        // groups run together may add several at once: at most a line's worth.
        require(report.groups.size() < synop::StreamAssembler::kMaxReportGroups + synop::StreamAssembler::kMaxLineLength,
                "groups within bound");
        raws.push_back(report.raw);
        if (decodeToo) {
            synop::decodeReport(report);
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
    if (size == 0) return 0;
    const size_t chunk = 1 + data[0] % 32;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto whole = assemble(text, text.size() + 1, true);
    const auto chunked = assemble(text, chunk, false);
    require(whole == chunked, "the same reports whatever the chunking");
    return 0;
}

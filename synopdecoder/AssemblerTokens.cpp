// What the tokens of a teletype line look like: headings, section 0
// markers, the opening groups of reports, the order of group indicators.
#include "synopdecoder/AssemblerTokens.h"

#include "synopdecoder/GroupText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace synop::detail {

bool isHeadingLine(const Tokens& t)
{
    if (t.size() != 3 && t.size() != 4) return false;
    const std::string_view ttaaii = t[0];
    if (ttaaii.size() != 6 || !isLetters(ttaaii.substr(0, 4)) || !isDigits(ttaaii.substr(4))) return false;
    if (t[1].size() != 4 || !isLetters(t[1])) return false;
    if (t[2].size() != 6 || !isDigits(t[2])) return false;
    return t.size() == 3 || (t[3].size() == 3 && isLetters(t[3]));
}

bool isLandMarker(std::string_view t) { return t == "AAXX" || t == "--//"; }
bool isShipMarker(std::string_view t) { return t == "BBXX" || t == "?\?//"; }
bool isBuoyMarker(std::string_view t) { return t == "ZZYY" || t == "++66" || t == "\"\"66"; }
// Forms that are not decoded here: their reports must not be taken for land
// or ship reports.
bool isOtherFormMarker(std::string_view t)
{
    // Upper-air parts: TEMP (TT), TEMP SHIP (UU), TEMP MOBIL (II), TEMP DROP
    // (XX), PILOT (PP), PILOT SHIP (QQ), PILOT MOBIL (EE); parts A to D.
    if (t.size() == 4 && t[0] == t[1] && t[2] == t[3] && t[2] >= 'A' && t[2] <= 'D'
        && std::string_view("TUIXPQE").find(t[0]) != std::string_view::npos)
        return true;
    static constexpr std::string_view kOthers[] = {
        "OOXX",                                    // SYNOP MOBIL
        "CLIMAT", "TEMP", "PILOT",                 // CLIMAT, CLIMAT TEMP and their ship forms
        "METAR", "SPECI", "TAF",                   // aerodromes
        "JJXX", "JJYY", "JJVV", "KKXX", "KKYY",    // BATHY, TESAC
        "NNXX", "MMXX", "BUFR", "GRIB", "CREX",
    };
    for (std::string_view other : kOthers)
        if (t == other) return true;
    return false;
}

// TTAAii: surface data (S) of the synoptic kinds: intermediate, main and
// non-standard hours (SI, SM, SN), buoys (SS) and miscellaneous (SX). Every
// other kind (upper air, climate, forecasts, warnings, BUFR, METAR and the
// like) holds no SYNOP, SHIP or BUOY report.
bool isSurfaceSynopticHeading(std::string_view ttaaii)
{
    return ttaaii.size() >= 2 && ttaaii[0] == 'S' && std::string_view("IMNSX").find(ttaaii[1]) != std::string_view::npos;
}

// YYGGiw of section 0: a day, an hour and a wind unit indicator that exist.
bool isDateGroup(std::string_view g)
{
    const int day = digitsValue(g, 0, 2);
    const int hour = digitsValue(g, 2, 2);
    const int iw = digitsValue(g, 4, 1);
    return g.size() == 5 && day >= 1 && day <= 31 && hour >= 0 && hour <= 23 && (iw == 0 || iw == 1 || iw == 3 || iw == 4);
}

// One character hit or lost: "AAMX", "AXX".
bool nearly(std::string_view t, std::string_view word)
{
    if (t.size() == word.size()) {
        int differences = 0;
        for (size_t i = 0; i < t.size(); ++i) differences += t[i] != word[i];
        return differences <= 1;
    }
    if (t.size() + 1 != word.size()) return false;
    // One character lost: the common prefix and the rest after the skip match.
    size_t same = 0;
    while (same < t.size() && t[same] == word[same]) ++same;
    return t.substr(same) == word.substr(same + 1);
}

// iRixhVV: iR 0..4, ix 1..7, h and VV digits or solidi.
bool looksLikeIndicatorGroup(std::string_view g)
{
    return isCodedGroup(g, 5) && g[0] >= '0' && g[0] <= '4' && g[1] >= '1' && g[1] <= '7';
}

bool looksLikeWindGroup(std::string_view g)
{
    if (!isCodedGroup(g, 5)) return false;
    const char d = g[1];
    return d == '/' || d <= '3' || d == '9';
}

bool looksLikeCallSign(std::string_view t)
{
    if (t.size() < 3 || t.size() > 9) return false;
    bool letter = false;
    for (char c : t) {
        if (c >= 'A' && c <= 'Z') letter = true;
        else if (!(c >= '0' && c <= '9')) return false;
    }
    return letter;
}

bool isBuoyOrPlatformNumber(std::string_view t) { return t.size() == 5 && isDigits(t); }

// D....D or A1bwnbnbnb, YYGGiw, 99LaLaLa, QcLoLoLoLo: the opening of a ship
// report is distinctive enough to be taken without its BBXX line, and it
// tells a numbered ship from a land report.
bool looksLikeShipOpening(const Tokens& t, size_t at)
{
    if (at + 3 >= t.size()) return false;
    if (!looksLikeCallSign(t[at]) && !isBuoyOrPlatformNumber(t[at])) return false;
    const ShiftCorrected latitude(t[at + 2]);
    const char quadrant = ShiftCorrected(t[at + 3])[0];
    return isDateGroup(ShiftCorrected(t[at + 1])) && isCodedGroup(latitude, 5) && latitude.view().rfind("99", 0) == 0
        && (quadrant == '1' || quadrant == '3' || quadrant == '5' || quadrant == '7');
}

// The framing words as a teletype stuck in figures case prints them.
std::string_view wordFromFigures(std::string_view token)
{
    if (token == ",,,,") return "NNNN";
    if (token == ",8)") return "NIL";
    if (token == "+:+:" || token == "\":\":") return "ZCZC";
    return token;
}

namespace {

// Bit i set where byte i of the block is a space, and where it is '=' or
// ';': 64 bytes at a time, so that a line is cut at its separators without
// a look at every byte of every group.
struct SeparatorMasks {
    uint64_t separators = 0;
    uint64_t equals = 0;
};

#if defined(__SSE2__)
SeparatorMasks separatorMasks(const char* p, size_t n)
{
    SeparatorMasks masks;
    const __m128i space = _mm_set1_epi8(' '), equal = _mm_set1_epi8('='), semicolon = _mm_set1_epi8(';');
    if (n < 16) {
        for (size_t i = 0; i < n; ++i) {
            const bool eq = p[i] == '=' || p[i] == ';';
            masks.separators |= uint64_t{eq || p[i] == ' '} << i;
            masks.equals |= uint64_t{eq} << i;
        }
        return masks;
    }
    for (size_t at = 0; at < n; at += 16) {
        // A short last block is read as the block that ends with the text,
        // its bits shifted down to where they belong.
        const size_t from = std::min(at, n - 16);
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
        const __m128i equalsHere = _mm_or_si128(_mm_cmpeq_epi8(bytes, equal), _mm_cmpeq_epi8(bytes, semicolon));
        auto spaces = static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, space))));
        auto eq = static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(equalsHere)));
        spaces >>= at - from;
        eq >>= at - from;
        masks.separators |= (spaces | eq) << at;
        masks.equals |= eq << at;
    }
    return masks;
}
#else
SeparatorMasks separatorMasks(const char* p, size_t n)
{
    SeparatorMasks masks;
    for (size_t i = 0; i < n; ++i) {
        const bool eq = p[i] == '=' || p[i] == ';';
        if (eq || p[i] == ' ') masks.separators |= uint64_t{1} << i;
        if (eq) masks.equals |= uint64_t{1} << i;
    }
    return masks;
}
#endif

inline void pushToken(Tokens& tokens, const char* begin, const char* end)
{
    const std::string_view token(begin, static_cast<size_t>(end - begin));
    const char c = *begin;
    const bool figuresCase = c == ',' || c == '+' || c == '"';  // a framing word as figures print it
    tokens.push_back(figuresCase ? wordFromFigures(token) : token);
}

}  // namespace

void tokenize(std::string_view line, Tokens& tokens)
{
    // What ends a token: a space, and '=' and ';', which are tokens
    // themselves. A token may run over from one 64-byte block to the next.
    tokens.clear();
    const char* const text = line.data();
    const size_t size = line.size();
    const char* open = nullptr;  // the start of a token not yet ended
    for (size_t base = 0; base < size; base += 64) {
        const size_t n = std::min<size_t>(64, size - base);
        const SeparatorMasks masks = separatorMasks(text + base, n);
        const uint64_t inBlock = n == 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1;
        const uint64_t tokenBytes = ~masks.separators & inBlock;
        const uint64_t before = (tokenBytes << 1) | (open ? 1 : 0);  // bit i: byte i - 1 is in a token
        const uint64_t starts = tokenBytes & ~before;
        uint64_t ends = masks.separators & before;
        if (!masks.equals) {
            // Most blocks: starts and ends alternate, a token open from the
            // block before ending first; taken in pairs.
            const char* const block = text + base;
            if (open && ends) {
                pushToken(tokens, open, block + std::countr_zero(ends));
                open = nullptr;
                ends &= ends - 1;
            }
            for (uint64_t rest = starts; rest; rest &= rest - 1) {
                const char* const start = block + std::countr_zero(rest);
                if (!ends) {
                    open = start;
                    break;
                }
                pushToken(tokens, start, block + std::countr_zero(ends));
                ends &= ends - 1;
            }
            continue;
        }
        for (uint64_t events = starts | ends | masks.equals; events; events &= events - 1) {
            const int i = std::countr_zero(events);
            const uint64_t bit = uint64_t{1} << i;
            const char* const at = text + base + static_cast<size_t>(i);
            if (starts & bit) {
                open = at;
                continue;
            }
            if (ends & bit) {
                pushToken(tokens, open, at);
                open = nullptr;
            }
            if (masks.equals & bit) tokens.push_back("=");
        }
    }
    if (open) pushToken(tokens, open, text + size);
}

}  // namespace synop::detail

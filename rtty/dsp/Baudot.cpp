#include "rtty/dsp/Baudot.h"

#include <cctype>

namespace rtty::baudot {

namespace {

// Index: the five-bit code. '\0' marks codes with no printing character in
// that case (NUL, shifts, WRU, bell, and the unassigned F, G, H figures).
constexpr char kLetterTable[32] = {
    '\0', 'E', '\n', 'A', ' ', 'S', 'I', 'U', '\r', 'D', 'R', 'J', 'N', 'F', 'C', 'K',
    'T',  'Z', 'L',  'W', 'H', 'Y', 'P', 'Q', 'O',  'B', 'G', '\0', 'M', 'X', 'V', '\0'};
constexpr char kFigureTable[32] = {
    '\0', '3', '\n', '-', ' ', '\'', '8', '7', '\r', '\0', '4', '\0', ',', '\0', ':', '(',
    '5',  '+', ')',  '2', '\0', '6', '0', '1', '9',  '?', '\0', '\0', '.', '/', '=', '\0'};

}  // namespace

void Decoder::decode(uint8_t code, std::string& textOut)
{
    code &= 0x1F;
    if (code == kLetters) {
        figures_ = false;
        return;
    }
    if (code == kFigures) {
        figures_ = true;
        return;
    }
    const char c = figures_ ? kFigureTable[code] : kLetterTable[code];
    if (code == kSpace && unshiftOnSpace_)
        figures_ = false;
    if (c != '\0')
        textOut.push_back(c);
}

CodeCase lookup(char c)
{
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == '\0')
        return {};
    for (int code = 0; code < 32; ++code) {
        const bool inLetters = kLetterTable[code] == upper;
        const bool inFigures = kFigureTable[code] == upper;
        if (inLetters || inFigures)
            return {code, !inLetters, inLetters && inFigures};
    }
    return {};
}

Encoded encode(const std::string& text, bool resendFiguresAfterSpace)
{
    enum class Case { Letters, Figures, Unknown };
    Encoded out;
    out.codes.push_back(kLetters);
    Case current = Case::Letters;
    for (char c : text) {
        const CodeCase found = lookup(c);
        if (found.code < 0) {
            ++out.unsendable;
            continue;
        }
        const Case needed = found.needsFigures ? Case::Figures : Case::Letters;
        if (!found.eitherCase && needed != current) {
            current = needed;
            out.codes.push_back(needed == Case::Figures ? kFigures : kLetters);
        }
        out.codes.push_back(static_cast<uint8_t>(found.code));
        if (found.code == kSpace && resendFiguresAfterSpace)
            current = Case::Unknown;
    }
    return out;
}

}  // namespace rtty::baudot

#include "rtty/dsp/ShiftRecovery.h"

#include "rtty/dsp/Baudot.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

namespace rtty {

namespace {

constexpr double kRecoveryCost = 4.0;  // LLR the expected code may lose and still count
// On a strong signal every LLR is large, a weak bit too, so the cost above
// never lets a shift through there. What marks a bit as the one a fade took
// is its size against the frame's other bits: at the edge of a fade of both
// tones the slots before the edge read at the full level and the one it
// falls in at a tenth or less. One bit at most this share of the weakest
// of the other four counts as weak, whatever the signal's level.
constexpr double kWeakBitShare = 0.25;
// Figure groups of weather bulletins hold five digits.
constexpr int kGroupDigits = 5;

char printedInFigures(uint8_t code)
{
    baudot::Decoder decoder;
    std::string out;
    decoder.decode(baudot::kFigures, out);
    decoder.decode(code, out);
    return out.size() == 1 ? out[0] : '\0';
}
bool printsDigitInFigures(uint8_t code)
{
    return std::isdigit(static_cast<unsigned char>(printedInFigures(code)));
}
bool printsPunctuationInFigures(uint8_t code)
{
    return std::ispunct(static_cast<unsigned char>(printedInFigures(code)));
}

double flipCost(uint8_t from, uint8_t to, const double llrs[5])
{
    double cost = 0.0;
    for (int bit = 0; bit < 5; ++bit)
        if (((from ^ to) >> bit) & 1)
            cost += std::fabs(llrs[bit]);
    return cost;
}

// Whether reading `from` as `to` is cheap: a few nats in all, or (where a
// shift is what the text expects) a single bit far weaker than the rest of
// its frame.
bool cheapFlip(uint8_t from, uint8_t to, const double llrs[5], bool weakAgainstFrame)
{
    if (flipCost(from, to, llrs) < kRecoveryCost)
        return true;
    if (!weakAgainstFrame)
        return false;
    const unsigned flipped = unsigned(from ^ to) & 0x1Fu;
    if (flipped == 0 || (flipped & (flipped - 1)) != 0)
        return false;
    double weakest = 1e300, flippedLlr = 0.0;
    for (int bit = 0; bit < 5; ++bit) {
        if ((flipped >> bit) & 1)
            flippedLlr = std::fabs(llrs[bit]);
        else
            weakest = std::min(weakest, std::fabs(llrs[bit]));
    }
    return flippedLlr < kWeakBitShare * weakest;
}

// The cheapest code printing a character of the wanted kind in the case.
// None: `code` itself.
uint8_t nearestPrinting(uint8_t code, const double llrs[5], bool figures, bool weakAgainstFrame = false)
{
    baudot::Decoder decoder;
    uint8_t best = code;
    double cost = 1e300;
    for (uint8_t candidate = 0; candidate < 32; ++candidate) {
        std::string out;
        if (figures)
            decoder.decode(baudot::kFigures, out);
        else
            decoder.decode(baudot::kLetters, out);
        decoder.decode(candidate, out);
        const bool wanted = out.size() == 1
            && (figures ? std::isdigit(static_cast<unsigned char>(out[0])) : std::isalpha(static_cast<unsigned char>(out[0])));
        if (!wanted)
            continue;
        const double c = flipCost(code, candidate, llrs);
        if (c < cost && cheapFlip(code, candidate, llrs, weakAgainstFrame)) {
            cost = c;
            best = candidate;
        }
    }
    return best;
}

}  // namespace

uint8_t ShiftRecovery::correct(uint8_t code, const double llrs[5], bool inFigures) const
{
    // A frame none of whose bits says anything (the digital silence after a
    // recording's end, a crash blanking it whole) is no character to repair:
    // every code costs nothing there, and the rules below would print the
    // first digit or shift they try ("33" where the noise after a bulletin's
    // last line printed "3").
    if (std::fabs(*std::max_element(llrs, llrs + 5, [](double a, double b) { return std::fabs(a) < std::fabs(b); }))
        < kRecoveryCost)
        return code;
    if (spaceAfterFigures_ && code != baudot::kFigures) {
        return cheapFlip(code, baudot::kFigures, llrs, true) ? baudot::kFigures : code;
    }
    // A line of a bulletin starts with a group of digits or a word; in
    // figures, a code there that would print punctuation is more likely
    // a LTRS with a weak bit (the line's word then prints in figures).
    const bool lineStart = lastPrinted_ == '\n' || lastPrinted_ == '\r';
    if (inFigures && lineStart && code != baudot::kLetters && cheapFlip(code, baudot::kLetters, llrs, true)) {
        std::string out;
        baudot::Decoder decoder;
        decoder.decode(baudot::kFigures, out);
        decoder.decode(code, out);
        const bool punctuation = out.size() == 1 && std::ispunct(static_cast<unsigned char>(out[0]));
        if (punctuation)
            return baudot::kLetters;
    }
    // A group of figures short of its five digits goes on with a digit: a
    // code there whose one far weaker bit (a burst erased it, a fade's edge
    // took it) stands between it and a digit is read as that digit, where
    // it printed punctuation or nothing (the group's digits then shifted
    // or joined the next group). A space or a line's end is left: groups
    // in headers are shorter ("ZCZC 001"). After five digits a code that prints
    // nothing or punctuation (',' or '#': the group's end '=' is not one bit
    // from a space), one weak bit from a space, is the space.
    // A group's first character, right after a space in figures, is a
    // digit too where it would print punctuation.
    const bool groupStart = inFigures && lastCharacter_ == ' ';
    if (inFigures && (groupStart || (digitsInGroup_ >= 1 && digitsInGroup_ < kGroupDigits)) && code != baudot::kFigures
        && (printsPunctuationInFigures(code) || (!groupStart && printedInFigures(code) == '\0')))
        return nearestPrinting(code, llrs, true, true);
    if (inFigures && digitsInGroup_ == kGroupDigits
        && (code == baudot::kNul || printsDigitInFigures(code) || printsPunctuationInFigures(code))
        && cheapFlip(code, baudot::kSpace, llrs, true))
        return baudot::kSpace;
    // A FIGS is sent for what follows it: senders that put one before each
    // group of figures (after the space that ended the last) go on with a
    // digit, and a LTRS there would undo it at once. A LTRS right after a
    // FIGS with one bit far weaker than the rest of its frame (a fade's
    // null in that slot) is the digit that bit stands between: read as
    // sent, the whole group printed as letters ("10048" as "PPRI"). A clean
    // one is a real shift and stays.
    if (inFigures && afterFigures_ && code == baudot::kLetters)
        return nearestPrinting(code, llrs, true, true);
    // A shift received inside a group is taken out only at a few nats: a
    // group of mixed case ("SMDL01") has a real shift in it, and a fade's
    // edge that weakens its bit is no reason to drop it.
    const bool inDigits = inFigures && std::isdigit(static_cast<unsigned char>(lastPrinted_));
    const bool inLetters = !inFigures && std::isalpha(static_cast<unsigned char>(lastPrinted_));
    if ((code == baudot::kLetters && inDigits) || (code == baudot::kFigures && inLetters)) {
        return nearestPrinting(code, llrs, inFigures);
    }
    return code;
}

void ShiftRecovery::decoded(uint8_t code, bool figuresBefore, char printed)
{
    spaceAfterFigures_ = code == baudot::kSpace && figuresBefore;
    afterFigures_ = code == baudot::kFigures;
    if (printed != '\0')
        lastCharacter_ = printed;
    if (std::isdigit(static_cast<unsigned char>(printed)))
        ++digitsInGroup_;
    else if (printed != '\0' || code == baudot::kLetters)
        digitsInGroup_ = 0;
    if (printed != '\0' || code == baudot::kLetters || code == baudot::kFigures)
        lastPrinted_ = printed;
}

}  // namespace rtty

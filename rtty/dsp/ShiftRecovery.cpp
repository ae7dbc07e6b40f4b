#include "rtty/dsp/ShiftRecovery.h"

#include "rtty/dsp/Baudot.h"

#include <cctype>
#include <cmath>
#include <string>

namespace rtty {

namespace {

constexpr double kRecoveryCost = 4.0;  // LLR the expected code may lose and still count

double flipCost(uint8_t from, uint8_t to, const double llrs[5])
{
    double cost = 0.0;
    for (int bit = 0; bit < 5; ++bit)
        if (((from ^ to) >> bit) & 1)
            cost += std::fabs(llrs[bit]);
    return cost;
}

// The cheapest code printing a character of the wanted kind in the case.
uint8_t nearestPrinting(uint8_t code, const double llrs[5], bool figures, double& cost)
{
    baudot::Decoder decoder;
    uint8_t best = code;
    cost = 1e300;
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
        if (c < cost) {
            cost = c;
            best = candidate;
        }
    }
    return best;
}

}  // namespace

uint8_t ShiftRecovery::correct(uint8_t code, const double llrs[5], bool inFigures) const
{
    if (spaceAfterFigures_ && code != baudot::kFigures) {
        return flipCost(code, baudot::kFigures, llrs) < kRecoveryCost ? baudot::kFigures : code;
    }
    // A line of a bulletin starts with a group of digits or a word; in
    // figures, a code there that would print punctuation is more likely
    // a LTRS with a weak bit (the line's word then prints in figures).
    const bool lineStart = lastPrinted_ == '\n' || lastPrinted_ == '\r';
    if (inFigures && lineStart && code != baudot::kLetters && flipCost(code, baudot::kLetters, llrs) < kRecoveryCost) {
        std::string out;
        baudot::Decoder decoder;
        decoder.decode(baudot::kFigures, out);
        decoder.decode(code, out);
        const bool punctuation = out.size() == 1 && std::ispunct(static_cast<unsigned char>(out[0]));
        if (punctuation)
            return baudot::kLetters;
    }
    const bool inDigits = inFigures && std::isdigit(static_cast<unsigned char>(lastPrinted_));
    const bool inLetters = !inFigures && std::isalpha(static_cast<unsigned char>(lastPrinted_));
    if ((code == baudot::kLetters && inDigits) || (code == baudot::kFigures && inLetters)) {
        double cost = 0.0;
        const uint8_t replacement = nearestPrinting(code, llrs, inFigures, cost);
        if (cost < kRecoveryCost)
            return replacement;
    }
    return code;
}

void ShiftRecovery::decoded(uint8_t code, bool figuresBefore, char printed)
{
    spaceAfterFigures_ = code == baudot::kSpace && figuresBefore;
    if (printed != '\0' || code == baudot::kLetters || code == baudot::kFigures)
        lastPrinted_ = printed;
}

}  // namespace rtty

#include "BenchText.h"

#include "rtty/signal/BulletinText.h"

#include <array>
#include <random>

namespace bench {

namespace {

std::string plainText(std::mt19937& rng)
{
    static const std::array<const char*, 40> words{
        "SEA",      "AREA",    "FORECAST", "WIND",     "NORTHWEST", "BACKING",  "SOUTHWEST", "VEERING",
        "MODERATE", "OR",      "ROUGH",    "GOOD",     "OCCASIONALLY", "POOR",  "RAIN",      "SHOWERS",
        "THUNDERY", "LATER",   "BECOMING", "CYCLONIC", "GALE",      "WARNING",  "ISSUED",    "BY",
        "THE",      "MET",     "OFFICE",   "VISIBILITY", "FAIR",    "HIGH",     "PRESSURE",  "MOVING",
        "SLOWLY",   "EAST",    "EXPECTED", "TONIGHT",  "FALLING",   "SEVERE",   "IN",        "FOG"};
    std::string out;
    const int sentenceWords = 6 + int(rng() % 10);
    for (int i = 0; i < sentenceWords; ++i) {
        if (i > 0)
            out += ' ';
        out += words[rng() % words.size()];
        if (rng() % 14 == 0)
            out += " FORCE " + std::to_string(4 + rng() % 6);
    }
    out += rng() % 3 == 0 ? ".\n" : ". ";
    return out;
}

std::string runsText(std::mt19937& rng)
{
    switch (rng() % 7) {
    case 0: {
        std::string line;
        while (line.size() < 68)
            line += "RY";
        return line + "\n";
    }
    case 1:
        return std::string(60, '-') + "\n";
    case 2:
        return "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 1234567890\n";
    case 3:
        return "AAXX 09061 99999 ///// ///// ///// ///// 99999=\n";
    case 4:
        return "NNNN" + std::string(10 + rng() % 30, ' ') + "\n\n\n";
    case 5:
        return std::string(20 + rng() % 40, "ELTO"[rng() % 4]) + "\n";
    default:
        return "ZCZC " + std::to_string(100 + rng() % 900) + "\n";
    }
}

}  // namespace

std::string benchText(const std::string& kind, int chars, uint32_t seed)
{
    std::string out;
    if (kind == "bulletin") {
        rtty::BulletinText bulletins(seed);
        while (out.size() < size_t(chars))
            for (char c : bulletins.next())
                if (c != '\r')
                    out.push_back(c);
    } else if (kind == "plain" || kind == "runs") {
        std::mt19937 rng(seed);
        while (out.size() < size_t(chars))
            out += kind == "plain" ? plainText(rng) : runsText(rng);
    } else {
        return {};
    }
    out.resize(size_t(chars));
    return out + "\n";
}

}  // namespace bench

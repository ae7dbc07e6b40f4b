#include "synopdecoder/GroupText.h"

#include <array>

namespace synop {

bool isLetters(std::string_view s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (c < 'A' || c > 'Z') return false;
    return true;
}

bool looksCoded(std::string_view s)
{
    return s.size() >= 3 && s.size() <= 5 && isCodedGroup(s, s.size());
}

std::string correctShift(std::string_view token)
{
    // The figure each key of the letters case stands for (PQWERTYUIO for 0
    // to 9, X for the solidus), else 0: looked up, as every report's date
    // group and many of its groups come through here.
    static constexpr std::array<char, 256> kFigureOfLetter = [] {
        std::array<char, 256> figure{};
        constexpr std::string_view kLetters = "PQWERTYUIO";
        for (size_t digit = 0; digit < kLetters.size(); ++digit)
            figure[static_cast<unsigned char>(kLetters[digit])] = static_cast<char>('0' + digit);
        figure['X'] = '/';
        return figure;
    }();
    if (token.size() != 3 && token.size() != 5) return std::string(token);
    std::string figures(token);
    bool inLetters = false;
    for (char& c : figures) {
        if (const char figure = kFigureOfLetter[static_cast<unsigned char>(c)]) {
            c = figure;
            inLetters = true;
        } else if (inLetters || !((c >= '0' && c <= '9') || c == '/')) {
            return std::string(token);  // figures after letters, or a character of neither kind
        }
    }
    return figures;
}

}  // namespace synop

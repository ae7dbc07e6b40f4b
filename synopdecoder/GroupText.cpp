#include "synopdecoder/GroupText.h"

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
    static constexpr std::string_view kLetters = "PQWERTYUIO";  // figures 0..9
    if (token.size() != 3 && token.size() != 5) return std::string(token);
    std::string figures(token);
    bool inLetters = false;
    for (char& c : figures) {
        if (c == 'X') {
            c = '/';
            inLetters = true;
            continue;
        }
        const size_t digit = kLetters.find(c);
        if (digit != std::string_view::npos) {
            c = static_cast<char>('0' + digit);
            inLetters = true;
        } else if (inLetters || !((c >= '0' && c <= '9') || c == '/')) {
            return std::string(token);  // figures after letters, or a character of neither kind
        }
    }
    return figures;
}

}  // namespace synop

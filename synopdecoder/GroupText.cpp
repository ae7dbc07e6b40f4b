#include "synopdecoder/GroupText.h"

namespace synop {

bool isDigits(std::string_view s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool isLetters(std::string_view s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (c < 'A' || c > 'Z') return false;
    return true;
}

bool isCodedGroup(std::string_view s, size_t length)
{
    if (s.size() != length) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '/')) return false;
    return true;
}

bool looksCoded(std::string_view s)
{
    return s.size() >= 3 && s.size() <= 5 && isCodedGroup(s, s.size());
}

std::string correctShift(const std::string& token)
{
    static constexpr std::string_view kLetters = "PQWERTYUIO";  // figures 0..9
    if (token.size() != 3 && token.size() != 5) return token;
    std::string figures = token;
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
            return token;  // figures after letters, or a character of neither kind
        }
    }
    return figures;
}

int digitsValue(std::string_view group, size_t from, size_t count)
{
    if (from + count > group.size()) return -1;
    int value = 0;
    for (size_t i = from; i < from + count; ++i) {
        const char c = group[i];
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace synop

#pragma once
// Small tests and repairs on the text of coded groups.
#include <array>
#include <string>
#include <string_view>

namespace synop {

bool isLetters(std::string_view s);
namespace detail {
// 1 for the figures and the solidus, 0 for every other byte.
inline constexpr std::array<unsigned char, 256> kFigureBytes = [] {
    std::array<unsigned char, 256> table{};
    for (int c = '0'; c <= '9'; ++c) table[static_cast<size_t>(c)] = 1;
    table['/'] = 1;
    return table;
}();
// 1 for the digits alone.
inline constexpr std::array<unsigned char, 256> kDigitBytes = [] {
    std::array<unsigned char, 256> table{};
    for (int c = '0'; c <= '9'; ++c) table[static_cast<size_t>(c)] = 1;
    return table;
}();
}  // namespace detail

// Digits only, at least one. Asked of nearly every line's first token (is it
// a station index?): five of them are tested without a branch per byte.
inline bool isDigits(std::string_view s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto& d = detail::kDigitBytes;
    if (s.size() == 5) return (d[p[0]] & d[p[1]] & d[p[2]] & d[p[3]] & d[p[4]]) != 0;
    if (s.empty()) return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (!d[p[i]]) return false;
    return true;
}

// Five figures or solidi: most groups of a report, tested without a branch per byte.
inline bool isFiveFigures(std::string_view s)
{
    if (s.size() != 5) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto& f = detail::kFigureBytes;
    return (f[p[0]] & f[p[1]] & f[p[2]] & f[p[3]] & f[p[4]]) != 0;
}

// Digits and solidi only (a solidus stands for a figure not reported), of the given length.
inline bool isCodedGroup(std::string_view s, size_t length)
{
    if (length == 5) return isFiveFigures(s);
    if (s.size() != length) return false;
    for (char c : s)
        if (!detail::kFigureBytes[static_cast<unsigned char>(c)]) return false;
    return true;
}
// A coded figure group of three to five characters, as in any report section.
bool looksCoded(std::string_view s);

// A teletype that lost its figures shift prints the letters that share the
// figures' codes (QWERTYUIOP for 1..0, X for the solidus). A group whose tail
// went over to letters is read back as figures; anything else is returned
// unchanged.
std::string correctShift(std::string_view token);

// Whether a token holds a capital letter: one without any is figures,
// solidi or marks, which correctShift gives back unchanged.
inline bool hasCapital(std::string_view token)
{
    static constexpr std::array<unsigned char, 256> kCapitals = [] {
        std::array<unsigned char, 256> table{};
        for (int c = 'A'; c <= 'Z'; ++c) table[static_cast<size_t>(c)] = 1;
        return table;
    }();
    const auto* p = reinterpret_cast<const unsigned char*>(token.data());
    if (token.size() == 5)  // most tokens: without a branch per byte
        return (kCapitals[p[0]] | kCapitals[p[1]] | kCapitals[p[2]] | kCapitals[p[3]] | kCapitals[p[4]]) != 0;
    for (size_t i = 0; i < token.size(); ++i)
        if (kCapitals[p[i]]) return true;
    return false;
}

// correctShift's answer as a view: the token itself when it holds no
// letter, as nearly every group does, so that the assembler's look at the
// groups of each line copies nothing; otherwise the corrected text, kept here.
class ShiftCorrected {
public:
    explicit ShiftCorrected(std::string_view token) : view_(token)
    {
        if (!hasCapital(token)) return;
        corrected_ = correctShift(token);
        view_ = corrected_;
    }
    ShiftCorrected(const ShiftCorrected&) = delete;  // view_ may point into corrected_
    ShiftCorrected& operator=(const ShiftCorrected&) = delete;

    std::string_view view() const { return view_; }
    operator std::string_view() const { return view_; }
    size_t size() const { return view_.size(); }
    char operator[](size_t i) const { return view_[i]; }

private:

    std::string corrected_;
    std::string_view view_;
};

// The value of digits [from, from + count) of a group, or -1 when any of them
// is a solidus or not a digit.
inline int digitsValue(std::string_view group, size_t from, size_t count)
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

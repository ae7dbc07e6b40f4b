#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ITA2 (international) alphabet: five-bit codes, least significant bit sent
// first, with the LTRS and FIGS shift codes. Figures follow ITA2, not the US
// teletype variant: V is '=', Z is '+', S is the apostrophe, J the bell.

namespace rtty::baudot {

constexpr uint8_t kNul = 0x00;
constexpr uint8_t kLineFeed = 0x02;
constexpr uint8_t kSpace = 0x04;
constexpr uint8_t kCarriageReturn = 0x08;
constexpr uint8_t kFigures = 0x1B;
constexpr uint8_t kLetters = 0x1F;

// Turns codes into text. Shift codes, NUL and the non-printing WRU and bell
// produce nothing; CR and LF are passed through, repeats included.
class Decoder {
public:
    explicit Decoder(bool unshiftOnSpace = true) : unshiftOnSpace_(unshiftOnSpace) {}

    void setUnshiftOnSpace(bool on) { unshiftOnSpace_ = on; }
    void reset() { figures_ = false; }
    bool inFigures() const { return figures_; }

    // Appends the character for the code, if it prints one.
    void decode(uint8_t code, std::string& textOut);

private:
    bool unshiftOnSpace_;
    bool figures_ = false;
};

// Turns text into codes, inserting LTRS and FIGS where the case changes.
// With resendFiguresAfterSpace, the receiver's case counts as unknown after a
// space: the next figure gets a fresh FIGS and the next letter a LTRS, so
// receivers that do and that do not unshift on space both print the text. Lower case is sent as
// upper case; characters ITA2 cannot send are counted in `unsendable`.
struct Encoded {
    std::vector<uint8_t> codes;
    size_t unsendable = 0;
};
Encoded encode(const std::string& text, bool resendFiguresAfterSpace = true);

// One character's code in either case, or -1 if ITA2 has no such character.
struct CodeCase {
    int code = -1;
    bool needsFigures = false;
    bool eitherCase = false;
};
CodeCase lookup(char c);

}  // namespace rtty::baudot

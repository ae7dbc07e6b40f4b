#pragma once

#include <cstdint>

// Soft recovery of case shifts. One weak bit in a shift code garbles a whole
// group of a bulletin: a FIGS read as something else turns the next group of
// digits into letters, a digit read as LTRS turns the rest of its group into
// letters. Where the context makes a shift (or its absence) very likely, a
// code that is within a small LLR cost of the expected one is taken as it:
//  - after a space that ended a group of figures, a FIGS;
//  - inside a group of digits, a digit rather than LTRS;
//  - inside a word of letters, a letter rather than FIGS;
//  - at the start of a line in figures, LTRS rather than punctuation;
//  - inside a group of figures short of five digits, a digit;
//  - right after a FIGS, a digit rather than LTRS.
// Clean codes (all bits strong) are never changed.

namespace rtty {

class ShiftRecovery {
public:
    // The code to decode, given the received one and its five bit LLRs
    // (positive for mark), with the decoder currently in figures or not.
    uint8_t correct(uint8_t code, const double llrs[5], bool inFigures) const;
    // Reports what the decoder did with the code: the case before it and
    // the character it printed ('\0' for none).
    void decoded(uint8_t code, bool figuresBefore, char printed);
    void reset() { *this = ShiftRecovery(); }

private:
    bool spaceAfterFigures_ = false;
    bool afterFigures_ = false;  // the last code was FIGS
    char lastPrinted_ = '\0';
    char lastCharacter_ = '\0';  // shifts left out
    int digitsInGroup_ = 0;  // digits printed since the last other character
};

}  // namespace rtty

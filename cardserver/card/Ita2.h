#pragma once
// ITA2 (Baudot) character codes: letters and figures cases, with the
// LTRS/FIGS shifts a sender inserts and a receiver follows.
#include <QChar>
#include <QString>
#include <cstdint>
#include <vector>

namespace cardserver {

namespace ita2 {
inline constexpr uint8_t kLetters = 0x1F;
inline constexpr uint8_t kFigures = 0x1B;
inline constexpr uint8_t kSpace = 0x04;
}  // namespace ita2

// Text to codes as a teleprinter sends it: upper case, a shift code before
// each change of case, and a fresh FIGS after every space (receivers commonly
// fall back to letters on a space). Characters ITA2 cannot send are left out.
class Ita2Encoder {
public:
    void encode(QChar c, std::vector<uint8_t>* codes);

private:
    bool m_figures = false;
};

class Ita2Decoder {
public:
    void setUnshiftOnSpace(bool on) { m_unshiftOnSpace = on; }
    // The character for a code, or a null QChar for shifts and NUL.
    QChar decode(uint8_t code);

private:
    bool m_figures = false;
    bool m_unshiftOnSpace = true;
};

}  // namespace cardserver

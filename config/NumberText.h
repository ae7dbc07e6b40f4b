#pragma once
// Numbers as the configuration boxes read and write them.
//
// leadingNumber() reads the number at the start of a text the lenient way
// users expect from a form: blanks, tabs and line feeds are ignored wherever
// they stand, and whatever cannot continue the number ends it ("80x" is 80,
// "x" is 0). standardNumberText() is the one plain writing of a value; a box
// keeps a text only when it already is that writing.
#include <QString>
#include <cstdint>

namespace config {

// Sign, digits, decimal point, exponent (E or D), or an "&H" hexadecimal /
// "&O" octal integer. Text without a number gives 0. Never infinite: values
// beyond the double range are clamped to it.
double leadingNumber(const QString& text);

// At most 15 significant digits, no leading zeros, no plus sign, "." as the
// decimal point, no trailing zeros, ".5" for one half, "0" for zero.
// Magnitudes from 1E+15 up and below 1E-04 are written with an exponent
// ("1E+15", "1.5E-05").
QString standardNumberText(double value);

constexpr int32_t kDefaultHostPort = 33234;

// The port number that a port text stands for: its leading number rounded
// to the nearest integer (halves to the even neighbour). An empty text, or
// one whose number does not fit 32 bits, stands for the default port, so
// that an emptied port box never becomes port 0 or a failed conversion.
int32_t portNumberFromText(const QString& text);

}  // namespace config

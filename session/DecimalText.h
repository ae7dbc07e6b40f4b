#pragma once
// Numbers as the status panels show them.
#include <QString>

namespace session {

// Plain decimal, at most 15 significant digits, no trailing zeros, no
// separator for whole numbers, and the decimal separator of the user's locale.
QString decimalText(double value);

// Cut (not rounded) to two decimals: 45.459 gives 45.45.
double truncateToHundredths(double value);

}  // namespace session

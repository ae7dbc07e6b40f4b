#include "DecimalText.h"

#include <QLocale>
#include <cmath>

namespace session {

namespace {
constexpr int kSignificantDigits = 15;
}

// Built from the digits of the number's scientific form rather than from
// a fixed-point conversion: the scientific form rounds to 15 significant
// digits at any magnitude, so a speed of 1e308 shows all its places
// instead of overflowing on the way.
QString decimalText(double value)
{
    if (!std::isfinite(value)) return QString::number(value);
    if (value == 0) return QStringLiteral("0");
    const QString scientific = QString::number(std::fabs(value), 'e', kSignificantDigits - 1);
    const qsizetype e = scientific.indexOf(QLatin1Char('e'));
    QString digits = scientific.left(e).remove(QLatin1Char('.'));
    const int exponent = scientific.mid(e + 1).toInt();
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0'))) digits.chop(1);

    QString text;
    if (exponent < 0) {
        text = QStringLiteral("0.") + QString(-exponent - 1, QLatin1Char('0')) + digits;
    } else if (digits.size() <= exponent + 1) {
        text = digits + QString(exponent + 1 - digits.size(), QLatin1Char('0'));
    } else {
        text = digits.left(exponent + 1) + QLatin1Char('.') + digits.mid(exponent + 1);
    }
    if (value < 0) text.prepend(QLatin1Char('-'));
    return text.replace(QLatin1Char('.'), QLocale().decimalPoint());
}

double truncateToHundredths(double value)
{
    // Past 2^52 a double holds no hundredths at all, and scaling it by 100
    // could overflow to infinity.
    if (!std::isfinite(value) || std::fabs(value) >= 4503599627370496.0) return value;
    // The product can land a hair under a whole number (0.29 * 100 is
    // 28.999999999999996); snap that back before cutting.
    const double scaled = value * 100;
    const double nearest = std::round(scaled);
    const double whole = std::fabs(scaled - nearest) < 1e-9 * std::max(1.0, std::fabs(scaled))
                             ? nearest
                             : std::floor(scaled);
    return whole / 100;
}

}  // namespace session

#include "DecimalText.h"

#include <QLocale>
#include <cmath>

namespace session {

QString decimalText(double value)
{
    if (!std::isfinite(value)) return QString::number(value);
    if (value == 0) return QStringLiteral("0");
    const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    const int decimals = std::clamp(14 - magnitude, 0, 30);
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text.replace(QLatin1Char('.'), QLocale().decimalPoint());
}

double truncateToHundredths(double value)
{
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

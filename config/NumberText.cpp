#include "NumberText.h"

#include "platform/Rounding.h"

#include <cfloat>
#include <cmath>
#include <locale.h>
#include <cstdlib>
#include <string>

namespace config {

namespace {

bool isIgnoredBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; }

bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// The value of one digit in the given radix, or -1.
int digitValue(QChar c, int radix)
{
    int value = -1;
    if (isAsciiDigit(c)) value = c.unicode() - '0';
    else if (c >= u'a' && c <= u'f') value = c.unicode() - 'a' + 10;
    else if (c >= u'A' && c <= u'F') value = c.unicode() - 'A' + 10;
    return value < radix ? value : -1;
}

// Digits in the given radix after "&H" or "&O"; the first other character
// ends the number.
double radixInteger(const QString& text, qsizetype from, int radix)
{
    double value = 0;
    for (qsizetype i = from; i < text.size(); ++i) {
        const int digit = digitValue(text[i], radix);
        if (digit < 0) break;
        value = value * radix + digit;
    }
    return value;
}

// The decimal writing never depends on the user's locale (Qt sets the
// process locale from the environment, where "," may be the decimal point).
double parseCDecimal(const std::string& number)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const double value = strtod_l(number.c_str(), nullptr, cLocale);
    if (std::isinf(value)) return value > 0 ? DBL_MAX : -DBL_MAX;
    return value;
}

}  // namespace

double leadingNumber(const QString& raw)
{
    QString text;
    text.reserve(raw.size());
    for (QChar c : raw)
        if (!isIgnoredBlank(c)) text.append(c);

    if (text.size() >= 2 && text[0] == u'&') {
        const QChar prefix = text[1].toUpper();
        if (prefix == u'H') return radixInteger(text, 2, 16);
        if (prefix == u'O') return radixInteger(text, 2, 8);
        return 0;
    }

    // Collect the longest prefix that is a decimal number, in the C locale's
    // writing, and let strtod do the correctly rounded conversion.
    std::string number;
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) number += char(text[i++].unicode());
    qsizetype digits = 0;
    while (i < text.size() && isAsciiDigit(text[i])) {
        number += char(text[i++].unicode());
        ++digits;
    }
    if (i < text.size() && text[i] == u'.') {
        number += '.';
        ++i;
        while (i < text.size() && isAsciiDigit(text[i])) {
            number += char(text[i++].unicode());
            ++digits;
        }
    }
    if (digits == 0) return 0;

    if (i < text.size() && (text[i].toUpper() == u'E' || text[i].toUpper() == u'D')) {
        qsizetype j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) exponent += char(text[j++].unicode());
        const qsizetype firstExponentDigit = j;
        while (j < text.size() && isAsciiDigit(text[j])) exponent += char(text[j++].unicode());
        if (j > firstExponentDigit) number += exponent;
    }
    return parseCDecimal(number);
}

QString standardNumberText(double value)
{
    if (value == 0 || std::isnan(value)) return QStringLiteral("0");
    if (std::isinf(value)) value = value > 0 ? DBL_MAX : -DBL_MAX;
    QString text = QString::number(value, 'G', 15);  // C locale, trailing zeros dropped
    // "0.5" -> ".5", "-0.5" -> "-.5"
    if (text.startsWith(QLatin1String("0."))) text.remove(0, 1);
    else if (text.startsWith(QLatin1String("-0."))) text.remove(1, 1);
    return text;
}

int32_t portNumberFromText(const QString& text)
{
    if (text.trimmed().isEmpty()) return kDefaultHostPort;
    return platform::toInt32(leadingNumber(text)).value_or(kDefaultHostPort);
}

}  // namespace config

#include "RegData.h"

#include "platform/AnsiCodePage.h"
#include "platform/Registry.h"

#include <QStringList>
#include <array>

using namespace platform;

namespace regtool {

namespace {

struct TypeNameEntry {
    uint32_t type;
    const char* name;
};
constexpr std::array<TypeNameEntry, 7> kTypeNames = {{{REG_NONE, "REG_NONE"},
                                                      {REG_SZ, "REG_SZ"},
                                                      {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
                                                      {REG_BINARY, "REG_BINARY"},
                                                      {REG_DWORD, "REG_DWORD"},
                                                      {REG_MULTI_SZ, "REG_MULTI_SZ"},
                                                      {REG_QWORD, "REG_QWORD"}}};

QByteArray littleEndian(uint64_t value, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xff));
    return out;
}

uint64_t fromLittleEndian(const QByteArray& bytes)
{
    uint64_t value = 0;
    for (int i = bytes.size() - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[i]);
    return value;
}

QByteArray withNul(const QString& text) { return toAnsi(text).append('\0'); }

// A string value that reads back exactly from its .reg text form: one
// terminating NUL and no other NUL or line break inside.
bool isPlainString(const QByteArray& bytes)
{
    if (bytes.isEmpty() || bytes.back() != '\0') return false;
    const QByteArray body = bytes.chopped(1);
    return !body.contains('\0') && !body.contains('\r') && !body.contains('\n');
}

QString quoted(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

// Reads a quoted string at position pos; pos ends after the closing quote.
std::optional<QString> unquote(const QString& line, int& pos)
{
    if (pos >= line.size() || line[pos] != QLatin1Char('"')) return std::nullopt;
    QString out;
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line[pos];
        if (c == QLatin1Char('\\') && pos + 1 < line.size()) {
            out += line[++pos];
        } else if (c == QLatin1Char('"')) {
            ++pos;
            return out;
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> parseHexBytes(const QString& text)
{
    QByteArray out;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const uint value = part.trimmed().toUInt(&ok, 16);
        if (!ok || value > 0xff) return std::nullopt;
        out.append(static_cast<char>(value));
    }
    return out;
}

}  // namespace

std::optional<uint32_t> typeFromName(const QString& name)
{
    for (const auto& entry : kTypeNames)
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0) return entry.type;
    return std::nullopt;
}

QString typeName(uint32_t type)
{
    for (const auto& entry : kTypeNames)
        if (entry.type == type) return QLatin1String(entry.name);
    return QStringLiteral("REG_0x%1").arg(type, 0, 16);
}

std::optional<QByteArray> dataFromCommandLine(uint32_t type, const QString& data, QString* error)
{
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return withNul(data);
    case REG_MULTI_SZ: {
        QByteArray out;
        for (const QString& part : data.split(QStringLiteral("\\0"), Qt::SkipEmptyParts)) out += withNul(part);
        return out.append('\0');
    }
    case REG_DWORD:
    case REG_QWORD: {
        bool ok = false;
        const QString trimmed = data.trimmed();
        const qint64 value = trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                                 ? static_cast<qint64>(trimmed.mid(2).toULongLong(&ok, 16))
                                 : trimmed.toLongLong(&ok, 10);
        const bool fits = type == REG_QWORD || (value >= INT32_MIN && value <= UINT32_MAX);
        if (!ok || !fits) {
            *error = QStringLiteral("Invalid syntax: %1 is not a %2 number.").arg(data, typeName(type));
            return std::nullopt;
        }
        return littleEndian(static_cast<uint64_t>(value), type == REG_DWORD ? 4 : 8);
    }
    default: {
        QByteArray out;
        const QString hex = data.trimmed();
        if (hex.size() % 2 != 0) {
            *error = QStringLiteral("Invalid syntax: binary data needs an even number of hexadecimal digits.");
            return std::nullopt;
        }
        for (int i = 0; i < hex.size(); i += 2) {
            bool ok = false;
            const uint byte = hex.mid(i, 2).toUInt(&ok, 16);
            if (!ok) {
                *error = QStringLiteral("Invalid syntax: %1 is not hexadecimal.").arg(hex.mid(i, 2));
                return std::nullopt;
            }
            out.append(static_cast<char>(byte));
        }
        return out;
    }
    }
}

QString dataForListing(uint32_t type, const QByteArray& bytes)
{
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && !bytes.chopped(bytes.endsWith('\0') ? 1 : 0).contains('\0'))
        return fromAnsi(bytes.endsWith('\0') ? bytes.chopped(1) : bytes);
    if (type == REG_DWORD && bytes.size() == 4) return QStringLiteral("0x%1").arg(fromLittleEndian(bytes), 0, 16);
    if (type == REG_QWORD && bytes.size() == 8) return QStringLiteral("0x%1").arg(fromLittleEndian(bytes), 0, 16);
    if (type == REG_MULTI_SZ) {
        QStringList parts;
        for (const QByteArray& part : bytes.split('\0'))
            if (!part.isEmpty()) parts << fromAnsi(part);
        return parts.join(QStringLiteral("\\0"));
    }
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString regFileLine(const QString& name, uint32_t type, const QByteArray& bytes)
{
    QString line = name.isEmpty() ? QStringLiteral("@=") : quoted(name) + QLatin1Char('=');
    if (type == REG_SZ && isPlainString(bytes)) return line + quoted(fromAnsi(bytes.chopped(1)));
    if (type == REG_DWORD && bytes.size() == 4)
        return line + QStringLiteral("dword:%1").arg(fromLittleEndian(bytes), 8, 16, QLatin1Char('0'));
    line += type == REG_BINARY ? QStringLiteral("hex:") : QStringLiteral("hex(%1):").arg(type, 0, 16);
    for (int i = 0; i < bytes.size(); ++i) {
        line += QStringLiteral("%1").arg(static_cast<uint8_t>(bytes[i]), 2, 16, QLatin1Char('0'));
        if (i + 1 < bytes.size()) {
            line += QLatin1Char(',');
            if (line.size() - line.lastIndexOf(QLatin1Char('\n')) > 76) line += QStringLiteral("\\\r\n  ");
        }
    }
    return line;
}

std::optional<ParsedValue> parseRegFileLine(const QString& line, QString* error)
{
    ParsedValue value;
    int pos = 0;
    if (line.startsWith(QLatin1Char('@'))) {
        pos = 1;
    } else if (auto name = unquote(line, pos)) {
        value.name = *name;
    } else {
        return std::nullopt;
    }
    if (pos >= line.size() || line[pos] != QLatin1Char('=')) {
        *error = QStringLiteral("missing '=' in: %1").arg(line);
        return std::nullopt;
    }
    const QString data = line.mid(pos + 1).trimmed();
    if (data == QLatin1String("-")) {
        value.remove = true;
        return value;
    }
    if (data.startsWith(QLatin1Char('"'))) {
        int at = 0;
        auto text = unquote(data, at);
        if (!text) {
            *error = QStringLiteral("unterminated string in: %1").arg(line);
            return std::nullopt;
        }
        value.type = REG_SZ;
        value.bytes = withNul(*text);
        return value;
    }
    if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
        bool ok = false;
        const uint number = data.mid(6).toUInt(&ok, 16);
        if (!ok) {
            *error = QStringLiteral("bad dword in: %1").arg(line);
            return std::nullopt;
        }
        value.type = REG_DWORD;
        value.bytes = littleEndian(number, 4);
        return value;
    }
    if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
        const int colon = data.indexOf(QLatin1Char(':'));
        value.type = REG_BINARY;
        if (data.mid(3, 1) == QLatin1String("(")) {
            bool ok = false;
            value.type = data.mid(4, data.indexOf(QLatin1Char(')')) - 4).toUInt(&ok, 16);
            if (!ok) {
                *error = QStringLiteral("bad value type in: %1").arg(line);
                return std::nullopt;
            }
        }
        auto bytes = colon < 0 ? std::nullopt : parseHexBytes(data.mid(colon + 1));
        if (!bytes) {
            *error = QStringLiteral("bad hex data in: %1").arg(line);
            return std::nullopt;
        }
        value.bytes = *bytes;
        return value;
    }
    *error = QStringLiteral("unknown value format in: %1").arg(line);
    return std::nullopt;
}

}  // namespace regtool

#pragma once
// Registry value data as text: the command line's /t and /d, query's
// listing, and the .reg file format.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace regtool {

std::optional<uint32_t> typeFromName(const QString& name);  // "REG_SZ" -> 1
QString typeName(uint32_t type);                            // unknown types as "REG_0x1234"

// The bytes that `add /t TYPE /d DATA` stores; nullopt with a reason when
// DATA does not suit TYPE.
std::optional<QByteArray> dataFromCommandLine(uint32_t type, const QString& data, QString* error);
// The data column of `query`.
QString dataForListing(uint32_t type, const QByteArray& bytes);

// One value as a .reg line, with long hex runs continued over lines.
QString regFileLine(const QString& name, uint32_t type, const QByteArray& bytes);
struct ParsedValue {
    QString name;  // empty for the default value (@)
    bool remove = false;
    uint32_t type = 0;
    QByteArray bytes;
};
// Parses one logical line (continuations already joined); nullopt when it
// is not a value line.
std::optional<ParsedValue> parseRegFileLine(const QString& line, QString* error);

}  // namespace regtool

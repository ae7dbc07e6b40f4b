#include "LogFileCheck.h"

#include <QFile>
#include <QFileInfo>

namespace synop {
namespace {

// The station log's application_id ("PlvR"), at offset 68 of the file header.
constexpr quint32 kLogApplicationId = 0x506c7652;

quint32 bigEndian32(const QByteArray& bytes, int at)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace

QString whyNotAStationLog(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) return {};
    if (info.isDir()) return QStringLiteral("%1 is a folder").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
    const QByteArray header = file.read(100);
    if (header.isEmpty()) return {};
    if (header.size() < 100 || !header.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return QStringLiteral("%1 is not a station log (not an SQLite database)").arg(path);
    const quint32 applicationId = bigEndian32(header, 68);
    const quint32 pages = bigEndian32(header, 28);
    // A log just created by another process may still hold its tables in
    // the write-ahead log: its file is then one empty page.
    if (applicationId == kLogApplicationId || (applicationId == 0 && pages <= 1)) return {};
    return QStringLiteral("%1 is an SQLite database of another program, not a station log").arg(path);
}

}  // namespace synop

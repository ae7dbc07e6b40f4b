#include "CardRecord.h"

#include <QtEndian>

namespace cardproto {

QByteArray CardRecord::encode() const
{
    QByteArray bytes(kSize, '\0');
    const QByteArray name = typeName.toLatin1().left(16);
    bytes.replace(0, name.size(), name);
    qToLittleEndian<uint32_t>(serial, bytes.data() + 16);
    qToLittleEndian<uint16_t>(firmware, bytes.data() + 20);
    qToLittleEndian<uint16_t>(available ? 1 : 0, bytes.data() + kAvailabilityOffset);
    return bytes;
}

std::optional<CardRecord> CardRecord::decode(const QByteArray& bytes)
{
    if (bytes.size() < kSize) return std::nullopt;
    CardRecord record;
    const QByteArray name = bytes.left(16);
    const qsizetype end = name.indexOf('\0');
    record.typeName = QString::fromLatin1(end < 0 ? name : name.left(end));
    record.serial = qFromLittleEndian<uint32_t>(bytes.constData() + 16);
    record.firmware = qFromLittleEndian<uint16_t>(bytes.constData() + 20);
    record.available = qFromLittleEndian<uint16_t>(bytes.constData() + kAvailabilityOffset) != 0;
    return record;
}

}  // namespace cardproto

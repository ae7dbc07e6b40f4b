#pragma once
// The card record that CardFound carries: 24 bytes, little-endian.
// 0-15 type name (ASCII, NUL-padded), 16-19 serial number, 20-21 firmware
// version, 22-23 availability flag (non-zero = selectable).
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace cardproto {

struct CardRecord {
    static constexpr int kSize = 24;
    static constexpr int kAvailabilityOffset = 22;

    QString typeName = QStringLiteral("W61PC");
    uint32_t serial = 0;
    uint16_t firmware = 0;
    bool available = false;

    QByteArray encode() const;
    // Needs at least kSize bytes; longer records keep their extra bytes unread.
    static std::optional<CardRecord> decode(const QByteArray& bytes);
};

}  // namespace cardproto

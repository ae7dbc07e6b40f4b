#pragma once
// A typed value as it travels: {"i2": -1}, {"r8": 50.0, "ref": true}, ...
// Parsing is strict: one known type key, a number that fits its type,
// nothing else but an optional Boolean "ref".
#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <cstdint>
#include <optional>

namespace cardproto {

enum class WireType { I2, I4, R8, Str, Bool, Bytes };

struct WireValue {
    WireType type = WireType::I2;
    bool ref = false;
    int64_t integer = 0;  // I2, I4; Bool as 0 or 1
    double real = 0;
    QString text;
    QByteArray bytes;

    static WireValue i2(int16_t v, bool ref = false);
    static WireValue i4(int32_t v, bool ref = false);
    static WireValue r8(double v, bool ref = false);
    static WireValue str(const QString& v, bool ref = false);
    static WireValue boolean(bool v, bool ref = false);
    static WireValue binary(const QByteArray& v);

    bool isInteger() const { return type == WireType::I2 || type == WireType::I4; }
    // The value as a number, whatever its numeric type (text: nullopt).
    std::optional<double> number() const;

    QJsonValue toJson() const;
    // nullopt with the reason in *error when the value breaks the rules.
    static std::optional<WireValue> fromJson(const QJsonValue& json, QString* error);

    bool operator==(const WireValue& other) const = default;
};

}  // namespace cardproto

#include "WireValue.h"

#include <QJsonObject>
#include <cmath>
#include <limits>

namespace cardproto {

WireValue WireValue::i2(int16_t v, bool ref) { return {WireType::I2, ref, v, 0, {}, {}}; }
WireValue WireValue::i4(int32_t v, bool ref) { return {WireType::I4, ref, v, 0, {}, {}}; }
WireValue WireValue::r8(double v, bool ref) { return {WireType::R8, ref, 0, v, {}, {}}; }
WireValue WireValue::str(const QString& v, bool ref) { return {WireType::Str, ref, 0, 0, v, {}}; }
WireValue WireValue::boolean(bool v, bool ref) { return {WireType::Bool, ref, v ? 1 : 0, 0, {}, {}}; }
WireValue WireValue::binary(const QByteArray& v) { return {WireType::Bytes, false, 0, 0, {}, v}; }

std::optional<double> WireValue::number() const
{
    switch (type) {
    case WireType::I2: case WireType::I4: return double(integer);
    case WireType::R8: return real;
    case WireType::Bool: return integer ? -1.0 : 0.0;
    default: return std::nullopt;
    }
}

QJsonValue WireValue::toJson() const
{
    QJsonObject object;
    switch (type) {
    case WireType::I2: object.insert(QStringLiteral("i2"), qint64(integer)); break;
    case WireType::I4: object.insert(QStringLiteral("i4"), qint64(integer)); break;
    case WireType::R8: object.insert(QStringLiteral("r8"), real); break;
    case WireType::Str: object.insert(QStringLiteral("str"), text); break;
    case WireType::Bool: object.insert(QStringLiteral("bool"), integer != 0); break;
    case WireType::Bytes:
        object.insert(QStringLiteral("bytes"), QString::fromLatin1(bytes.toBase64()));
        break;
    }
    if (ref) object.insert(QStringLiteral("ref"), true);
    return object;
}

namespace {

std::optional<int64_t> wholeNumberIn(const QJsonValue& json, int64_t low, int64_t high)
{
    if (!json.isDouble()) return std::nullopt;
    const double value = json.toDouble();
    if (!std::isfinite(value) || value != std::floor(value)) return std::nullopt;
    if (value < double(low) || value > double(high)) return std::nullopt;
    return int64_t(value);
}

}  // namespace

std::optional<WireValue> WireValue::fromJson(const QJsonValue& json, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return std::optional<WireValue>();
    };
    if (!json.isObject()) return fail(QStringLiteral("a typed value must be an object"));
    QJsonObject object = json.toObject();
    WireValue value;
    if (object.contains(QStringLiteral("ref"))) {
        const QJsonValue ref = object.take(QStringLiteral("ref"));
        if (!ref.isBool()) return fail(QStringLiteral("\"ref\" must be true or false"));
        value.ref = ref.toBool();
    }
    if (object.size() != 1) return fail(QStringLiteral("a typed value needs exactly one type key"));
    const QString key = object.begin().key();
    const QJsonValue payload = object.begin().value();
    if (key == QLatin1String("i2") || key == QLatin1String("i4")) {
        const bool wide = key == QLatin1String("i4");
        const auto n = wide ? wholeNumberIn(payload, INT32_MIN, INT32_MAX)
                            : wholeNumberIn(payload, INT16_MIN, INT16_MAX);
        if (!n) return fail(QStringLiteral("%1 value does not fit its type").arg(key));
        value.type = wide ? WireType::I4 : WireType::I2;
        value.integer = *n;
    } else if (key == QLatin1String("r8")) {
        if (!payload.isDouble()) return fail(QStringLiteral("r8 value must be a number"));
        value.type = WireType::R8;
        value.real = payload.toDouble();
    } else if (key == QLatin1String("str")) {
        if (!payload.isString()) return fail(QStringLiteral("str value must be a string"));
        value.type = WireType::Str;
        value.text = payload.toString();
    } else if (key == QLatin1String("bool")) {
        if (!payload.isBool()) return fail(QStringLiteral("bool value must be true or false"));
        value.type = WireType::Bool;
        value.integer = payload.toBool() ? 1 : 0;
    } else if (key == QLatin1String("bytes")) {
        if (!payload.isString()) return fail(QStringLiteral("bytes value must be base64 text"));
        auto decoded = QByteArray::fromBase64Encoding(payload.toString().toLatin1(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) return fail(QStringLiteral("bytes value is not valid base64"));
        value.type = WireType::Bytes;
        value.bytes = *decoded;
    } else {
        return fail(QStringLiteral("unknown value type \"%1\"").arg(key));
    }
    return value;
}

}  // namespace cardproto

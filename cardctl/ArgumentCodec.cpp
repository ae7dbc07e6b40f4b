#include "ArgumentCodec.h"

namespace cardctl {

using cardproto::WireValue;
using platform::VarType;

WireValue toWire(const platform::Variant& value)
{
    const bool ref = value.isRef();
    switch (value.type()) {
    case VarType::I2: return WireValue::i2(value.toI2(), ref);
    case VarType::I4: return WireValue::i4(value.toI4(), ref);
    case VarType::R8: return WireValue::r8(value.toR8(), ref);
    case VarType::Str: return WireValue::str(value.toStr(), ref);
    case VarType::Bool: return WireValue::boolean(value.toBool(), ref);
    case VarType::Bytes: return WireValue::binary(value.toBytes());
    case VarType::Empty: break;
    }
    return WireValue::str(QString());
}

QList<WireValue> toWire(const QList<platform::Variant>& values)
{
    QList<WireValue> wire;
    for (const auto& value : values) wire << toWire(value);
    return wire;
}

}  // namespace cardctl

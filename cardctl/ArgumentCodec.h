#pragma once
// Typed arguments between the control's variants and the wire: the type and
// by-reference-ness travel with every value.
#include "protocol/WireValue.h"
#include "platform/Variant.h"

#include <QList>

namespace cardctl {

// An Empty variant (an argument the caller left out) travels as empty text.
cardproto::WireValue toWire(const platform::Variant& value);
QList<cardproto::WireValue> toWire(const QList<platform::Variant>& values);

}  // namespace cardctl

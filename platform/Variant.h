#pragma once
// Typed values as the card control takes them: the type travels with the
// value, and a by-reference argument points at the caller's own variable.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <variant>

namespace platform {

// The control's own Boolean, distinct from a 16-bit integer of the same value.
struct ControlBool {
    bool value = false;
    bool operator==(const ControlBool&) const = default;
};

enum class VarType { Empty, I2, I4, R8, Str, Bool, Bytes };

const char* varTypeName(VarType type);

class Variant {
public:
    Variant() = default;

    static Variant i2(int16_t v) { return Variant(Storage(v)); }
    static Variant i4(int32_t v) { return Variant(Storage(v)); }
    static Variant r8(double v) { return Variant(Storage(v)); }
    static Variant str(const QString& v) { return Variant(Storage(v)); }
    static Variant boolean(bool v) { return Variant(Storage(ControlBool{v})); }
    static Variant bytes(const QByteArray& v) { return Variant(Storage(v)); }

    // By-reference arguments: the control may read (and could change) the
    // caller's variable.
    static Variant ref(int16_t* v) { return Variant(Storage(v)); }
    static Variant ref(int32_t* v) { return Variant(Storage(v)); }
    static Variant ref(double* v) { return Variant(Storage(v)); }
    static Variant ref(QString* v) { return Variant(Storage(v)); }

    VarType type() const;
    bool isRef() const;
    bool isEmpty() const { return type() == VarType::Empty; }
    // The address of the referenced variable, or nullptr for a by-value one.
    const void* refTarget() const;

    // Current value, read through the reference where there is one.
    int16_t toI2() const;
    int32_t toI4() const;
    double toR8() const;
    QString toStr() const;
    bool toBool() const;
    QByteArray toBytes() const;

    // Same type, same by-reference-ness, same current value (and same target
    // for references).
    bool operator==(const Variant& other) const;

    QString describe() const;  // e.g. "I2 -1", "ref R8 50", "Str \"ms\""

private:
    using Storage = std::variant<std::monostate, int16_t, int32_t, double, QString, ControlBool,
                                 QByteArray, int16_t*, int32_t*, double*, QString*>;
    explicit Variant(Storage s) : m_value(std::move(s)) {}
    Storage m_value;
};

}  // namespace platform

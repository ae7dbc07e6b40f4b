#include "Variant.h"

namespace platform {

const char* varTypeName(VarType type)
{
    switch (type) {
    case VarType::Empty: return "Empty";
    case VarType::I2: return "I2";
    case VarType::I4: return "I4";
    case VarType::R8: return "R8";
    case VarType::Str: return "Str";
    case VarType::Bool: return "Bool";
    case VarType::Bytes: return "Bytes";
    }
    return "?";
}

VarType Variant::type() const
{
    switch (m_value.index()) {
    case 1: case 7: return VarType::I2;
    case 2: case 8: return VarType::I4;
    case 3: case 9: return VarType::R8;
    case 4: case 10: return VarType::Str;
    case 5: return VarType::Bool;
    case 6: return VarType::Bytes;
    default: return VarType::Empty;
    }
}

bool Variant::isRef() const { return m_value.index() >= 7; }

const void* Variant::refTarget() const
{
    switch (m_value.index()) {
    case 7: return std::get<int16_t*>(m_value);
    case 8: return std::get<int32_t*>(m_value);
    case 9: return std::get<double*>(m_value);
    case 10: return std::get<QString*>(m_value);
    default: return nullptr;
    }
}

int16_t Variant::toI2() const
{
    if (auto p = std::get_if<int16_t>(&m_value)) return *p;
    if (auto p = std::get_if<int16_t*>(&m_value)) return **p;
    return static_cast<int16_t>(toI4());
}

int32_t Variant::toI4() const
{
    switch (m_value.index()) {
    case 1: return std::get<int16_t>(m_value);
    case 2: return std::get<int32_t>(m_value);
    case 3: return static_cast<int32_t>(std::get<double>(m_value));
    case 5: return std::get<ControlBool>(m_value).value ? -1 : 0;
    case 7: return *std::get<int16_t*>(m_value);
    case 8: return *std::get<int32_t*>(m_value);
    case 9: return static_cast<int32_t>(*std::get<double*>(m_value));
    default: return 0;
    }
}

double Variant::toR8() const
{
    if (auto p = std::get_if<double>(&m_value)) return *p;
    if (auto p = std::get_if<double*>(&m_value)) return **p;
    return toI4();
}

QString Variant::toStr() const
{
    if (auto p = std::get_if<QString>(&m_value)) return *p;
    if (auto p = std::get_if<QString*>(&m_value)) return **p;
    switch (type()) {
    case VarType::R8: return QString::number(toR8(), 'g', 15);
    case VarType::I2: case VarType::I4: case VarType::Bool: return QString::number(toI4());
    default: return {};
    }
}

bool Variant::toBool() const
{
    if (auto p = std::get_if<ControlBool>(&m_value)) return p->value;
    return toI4() != 0;
}

QByteArray Variant::toBytes() const
{
    if (auto p = std::get_if<QByteArray>(&m_value)) return *p;
    return toStr().toUtf8();
}

bool Variant::operator==(const Variant& other) const
{
    if (type() != other.type() || isRef() != other.isRef()) return false;
    if (isRef() && refTarget() != other.refTarget()) return false;
    switch (type()) {
    case VarType::Empty: return true;
    case VarType::I2: case VarType::I4: case VarType::Bool: return toI4() == other.toI4();
    case VarType::R8: return toR8() == other.toR8();
    case VarType::Str: return toStr() == other.toStr();
    case VarType::Bytes: return toBytes() == other.toBytes();
    }
    return false;
}

QString Variant::describe() const
{
    QString text = isRef() ? QStringLiteral("ref ") : QString();
    text += QLatin1String(varTypeName(type()));
    switch (type()) {
    case VarType::Empty: break;
    case VarType::Str: text += QStringLiteral(" \"%1\"").arg(toStr()); break;
    case VarType::Bool: text += toBool() ? QStringLiteral(" true") : QStringLiteral(" false"); break;
    case VarType::Bytes: text += QStringLiteral(" %1 bytes").arg(toBytes().size()); break;
    default: text += QLatin1Char(' ') + toStr(); break;
    }
    return text;
}

}  // namespace platform

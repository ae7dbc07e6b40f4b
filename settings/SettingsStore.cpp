#include "SettingsStore.h"

#include "platform/AnsiCodePage.h"
#include "platform/Registry.h"
#include "platform/Rounding.h"

#include <array>
#include <cstring>

using namespace platform;

namespace settings {

namespace {

constexpr const char* kVendorKey = "SOFTWARE\\Korvath Software";
// READ_CONTROL and the six specific key rights: read and write, no DELETE.
constexpr REGSAM kAccess = 0x2003F;
constexpr DWORD kTextBufferSize = 4096;

// Both keys of one call; closes whatever it opened on every path.
class SettingsKeys {
public:
    SettingsKeys() = default;
    SettingsKeys(const SettingsKeys&) = delete;
    SettingsKeys& operator=(const SettingsKeys&) = delete;
    ~SettingsKeys()
    {
        if (m_app) RegCloseKey(m_app);
        if (m_vendor) RegCloseKey(m_vendor);
    }

    bool open(const QByteArray& appName)
    {
        return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, kAccess, &m_vendor) == ERROR_SUCCESS &&
               RegOpenKeyExA(m_vendor, appName.constData(), 0, kAccess, &m_app) == ERROR_SUCCESS;
    }

    bool openOrCreate(const QByteArray& appName)
    {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, kAccess, &m_vendor) != ERROR_SUCCESS &&
            RegCreateKeyA(HKEY_LOCAL_MACHINE, kVendorKey, &m_vendor) != ERROR_SUCCESS)
            return false;
        return RegOpenKeyExA(m_vendor, appName.constData(), 0, kAccess, &m_app) == ERROR_SUCCESS ||
               RegCreateKeyA(m_vendor, appName.constData(), &m_app) == ERROR_SUCCESS;
    }

    HKEY app() const { return m_app; }

private:
    HKEY m_vendor = nullptr;
    HKEY m_app = nullptr;
};

std::optional<QString> readText(HKEY key, const QByteArray& name)
{
    std::array<BYTE, kTextBufferSize> buffer{};
    DWORD size = kTextBufferSize;
    DWORD type = REG_SZ;
    if (RegQueryValueExA(key, name.constData(), nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS || size == 0)
        return std::nullopt;
    // Only one trailing NUL is the terminator; anything before it is data.
    if (buffer[size - 1] == 0) --size;
    return fromAnsi(QByteArray(reinterpret_cast<const char*>(buffer.data()), static_cast<int>(size)));
}

std::optional<int32_t> readNumber(HKEY key, const QByteArray& name)
{
    // A shorter stored value fills only the low-order bytes.
    std::array<BYTE, 4> bytes{};
    DWORD size = 4;
    DWORD type = REG_DWORD;
    if (RegQueryValueExA(key, name.constData(), nullptr, &type, bytes.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    const uint32_t raw = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                         uint32_t(bytes[3]) << 24;
    return static_cast<int32_t>(raw);
}

std::optional<int32_t> numberToStore(const SettingValue& value)
{
    if (auto v = std::get_if<int16_t>(&value)) return *v;
    if (auto v = std::get_if<int32_t>(&value)) return *v;
    if (auto v = std::get_if<float>(&value)) return toInt32(*v);
    return std::nullopt;
}

}  // namespace

SettingValue ReadSetting(const QString& appName, const QString& valueName, const SettingValue& defaultValue)
{
    SettingsKeys keys;
    if (!keys.open(toAnsi(appName))) return defaultValue;
    const QByteArray name = toAnsi(valueName);
    if (std::holds_alternative<QString>(defaultValue)) {
        if (auto text = readText(keys.app(), name)) return *text;
        return defaultValue;
    }
    if (auto number = readNumber(keys.app(), name)) return *number;
    return defaultValue;
}

bool WriteSetting(const QString& appName, const QString& valueName, const SettingValue& value)
{
    std::optional<int32_t> number;
    if (!std::holds_alternative<QString>(value)) {
        number = numberToStore(value);
        if (!number) return false;
    }
    SettingsKeys keys;
    if (!keys.openOrCreate(toAnsi(appName))) return false;
    const QByteArray name = toAnsi(valueName);
    if (auto text = std::get_if<QString>(&value)) {
        QByteArray data = toAnsi(*text);
        data.append('\0');
        return RegSetValueExA(keys.app(), name.constData(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(data.constData()),
                              static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    }
    const auto raw = static_cast<uint32_t>(*number);
    const std::array<BYTE, 4> bytes{BYTE(raw), BYTE(raw >> 8), BYTE(raw >> 16), BYTE(raw >> 24)};
    return RegSetValueExA(keys.app(), name.constData(), 0, REG_DWORD, bytes.data(), 4) == ERROR_SUCCESS;
}

std::optional<int16_t> settingToInt16(const SettingValue& value)
{
    if (auto v = std::get_if<int16_t>(&value)) return *v;
    if (auto v = std::get_if<int32_t>(&value)) return toInt16(static_cast<int64_t>(*v));
    if (auto v = std::get_if<float>(&value)) return toInt16(static_cast<double>(*v));
    return toInt16(std::get<QString>(value).toDouble());
}

std::optional<int32_t> settingToInt32(const SettingValue& value)
{
    if (auto v = std::get_if<int16_t>(&value)) return *v;
    if (auto v = std::get_if<int32_t>(&value)) return *v;
    if (auto v = std::get_if<float>(&value)) return toInt32(static_cast<double>(*v));
    return toInt32(std::get<QString>(value).toDouble());
}

QString settingToText(const SettingValue& value)
{
    if (auto v = std::get_if<QString>(&value)) return *v;
    if (auto v = std::get_if<int16_t>(&value)) return QString::number(*v);
    if (auto v = std::get_if<int32_t>(&value)) return QString::number(*v);
    return QString::number(static_cast<double>(std::get<float>(value)));
}

}  // namespace settings

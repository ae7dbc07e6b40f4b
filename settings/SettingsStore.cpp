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

// What a value's stored bytes read as, for a text default and for any other.
std::optional<QString> textFrom(const char* bytes, DWORD size)
{
    if (size == 0 || size > kTextBufferSize) return std::nullopt;
    // Only one trailing NUL is the terminator; anything before it is data.
    if (bytes[size - 1] == 0) --size;
    return fromAnsi(QByteArray(bytes, static_cast<int>(size)));
}

std::optional<int32_t> numberFrom(const char* bytes, DWORD size)
{
    // A shorter stored value fills only the low-order bytes.
    if (size > 4) return std::nullopt;
    std::array<unsigned char, 4> raw{};
    if (size) std::memcpy(raw.data(), bytes, size);
    return static_cast<int32_t>(uint32_t(raw[0]) | uint32_t(raw[1]) << 8 | uint32_t(raw[2]) << 16 |
                                uint32_t(raw[3]) << 24);
}

SettingValue valueOrDefault(const char* bytes, DWORD size, const SettingValue& defaultValue)
{
    if (std::holds_alternative<QString>(defaultValue)) {
        if (auto text = textFrom(bytes, size)) return *text;
    } else if (auto number = numberFrom(bytes, size)) {
        return *number;
    }
    return defaultValue;
}

// The names of a group that the key holds right now.
std::vector<size_t> presentValues(HKEY key, const std::vector<QByteArray>& names, const std::vector<size_t>& among)
{
    std::vector<size_t> present;
    for (size_t i : among) {
        DWORD size = 0;
        if (RegQueryValueExA(key, names[i].constData(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS)
            present.push_back(i);
    }
    return present;
}

std::optional<int32_t> numberToStore(const SettingValue& value)
{
    if (auto v = std::get_if<int16_t>(&value)) return *v;
    if (auto v = std::get_if<int32_t>(&value)) return *v;
    if (auto v = std::get_if<float>(&value)) return toInt32(*v);
    return std::nullopt;
}

// The registry type and bytes a value is stored as; nullopt when it cannot be.
struct EncodedValue {
    DWORD type;
    QByteArray bytes;
};

std::optional<EncodedValue> encoded(const SettingValue& value)
{
    if (auto text = std::get_if<QString>(&value)) {
        QByteArray data = toAnsi(*text);
        data.append('\0');
        return EncodedValue{REG_SZ, data};
    }
    const auto number = numberToStore(value);
    if (!number) return std::nullopt;
    const auto raw = static_cast<uint32_t>(*number);
    const char bytes[4] = {char(raw), char(raw >> 8), char(raw >> 16), char(raw >> 24)};
    return EncodedValue{REG_DWORD, QByteArray(bytes, 4)};
}

}  // namespace

SettingValue ReadSetting(const QString& appName, const QString& valueName, const SettingValue& defaultValue)
{
    SettingsKeys keys;
    if (!keys.open(toAnsi(appName))) return defaultValue;
    const bool text = std::holds_alternative<QString>(defaultValue);
    std::array<char, kTextBufferSize> buffer{};
    DWORD size = text ? kTextBufferSize : 4;
    DWORD type = text ? REG_SZ : REG_DWORD;
    if (RegQueryValueExA(keys.app(), toAnsi(valueName).constData(), nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
        return defaultValue;
    return valueOrDefault(buffer.data(), size, defaultValue);
}

std::vector<SettingValue> ReadSettings(const QString& appName, const std::vector<NamedSetting>& defaults)
{
    std::vector<SettingValue> result;
    for (const auto& [name, value] : defaults) result.push_back(value);
    SettingsKeys keys;
    if (!keys.open(toAnsi(appName))) return result;
    std::vector<QByteArray> names;
    std::vector<size_t> asked;
    for (size_t i = 0; i < defaults.size(); ++i) {
        names.push_back(toAnsi(defaults[i].first));
        asked.push_back(i);
    }
    // One query is one snapshot of the key. It refuses a group with a value
    // missing: the group is then asked again without the values missing, a
    // bounded number of times (a save stores its whole group or none of it).
    std::vector<char> buffer(defaults.size() * 64 + 64);
    for (int attempt = 0; attempt < 8 && !asked.empty(); ++attempt) {
        std::vector<VALENTA> entries;
        for (size_t i : asked) entries.push_back({names[i].data(), 0, 0, 0});
        DWORD size = static_cast<DWORD>(buffer.size());
        const LONG status = RegQueryMultipleValuesA(keys.app(), entries.data(), static_cast<DWORD>(entries.size()),
                                                    buffer.data(), &size);
        if (status == ERROR_MORE_DATA) {
            buffer.resize(size);
            continue;
        }
        if (status == ERROR_CANTREAD) {
            asked = presentValues(keys.app(), names, asked);
            continue;
        }
        if (status != ERROR_SUCCESS) return result;
        for (size_t k = 0; k < asked.size(); ++k)
            result[asked[k]] = valueOrDefault(reinterpret_cast<const char*>(entries[k].ve_valueptr),
                                              entries[k].ve_valuelen, defaults[asked[k]].second);
        return result;
    }
    return result;
}

bool WriteSetting(const QString& appName, const QString& valueName, const SettingValue& value)
{
    const auto data = encoded(value);
    if (!data) return false;
    SettingsKeys keys;
    if (!keys.openOrCreate(toAnsi(appName))) return false;
    return RegSetValueExA(keys.app(), toAnsi(valueName).constData(), 0, data->type,
                          reinterpret_cast<const BYTE*>(data->bytes.constData()),
                          static_cast<DWORD>(data->bytes.size())) == ERROR_SUCCESS;
}

bool WriteSettings(const QString& appName, const std::vector<NamedSetting>& values)
{
    std::vector<QByteArray> names;
    std::vector<EncodedValue> data;
    for (const auto& [name, value] : values) {
        auto one = encoded(value);
        if (!one) return false;
        names.push_back(toAnsi(name));
        data.push_back(std::move(*one));
    }
    std::vector<VALENTA> entries;
    for (size_t i = 0; i < data.size(); ++i)
        entries.push_back({names[i].data(), static_cast<DWORD>(data[i].bytes.size()),
                           reinterpret_cast<DWORD_PTR>(data[i].bytes.constData()), data[i].type});
    SettingsKeys keys;
    if (!keys.openOrCreate(toAnsi(appName))) return false;
    return RegSetMultipleValuesA(keys.app(), entries.data(), static_cast<DWORD>(entries.size())) == ERROR_SUCCESS;
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

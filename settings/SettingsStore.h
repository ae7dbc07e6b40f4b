#pragma once
// The program's settings under HKEY_LOCAL_MACHINE\SOFTWARE\Korvath Software\<application>.
// Each call opens both keys, does its one read or write and closes them
// again; nothing is cached and no failure is ever reported to the user.
#include <QString>
#include <cstdint>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

namespace settings {

// A setting's value: text, 16-bit or 32-bit integer, or single-precision float.
using SettingValue = std::variant<QString, int16_t, int32_t, float>;

// The stored value, or an unchanged copy of the default when it cannot be
// read. A text default reads the value as text (REG_SZ); any other default
// reads it as a 32-bit integer (REG_DWORD), whatever type is stored.
SettingValue ReadSetting(const QString& appName, const QString& valueName, const SettingValue& defaultValue);

// Stores text as REG_SZ (ANSI bytes and one NUL) and everything else as a
// REG_DWORD (rounded half to even). True when the registry took the value.
// A number that does not fit 32 bits is refused rather than stored wrapped.
bool WriteSetting(const QString& appName, const QString& valueName, const SettingValue& value);

// Settings that belong together (a window's place, the card chosen), stored
// as one: another front end saving at the same moment gets either all of
// its values stored or none, never its X beside this one's Y. A number that
// does not fit 32 bits stores nothing of the group. True when all were stored.
using NamedSetting = std::pair<QString, SettingValue>;
bool WriteSettings(const QString& appName, const std::vector<NamedSetting>& values);

// Settings that belong together, read as one: every value from the same
// moment, so that a start at the moment another front end saves sees that
// save's place or the one before, never X of one beside Y of the other.
// Each value as ReadSetting would give it, in the order asked for; the
// default stands for each value that is missing or unreadable.
std::vector<SettingValue> ReadSettings(const QString& appName, const std::vector<NamedSetting>& defaults);

// Conversions of a read result into the caller's variable; nullopt when the
// value does not fit (the caller then keeps its default).
std::optional<int16_t> settingToInt16(const SettingValue& value);
std::optional<int32_t> settingToInt32(const SettingValue& value);
QString settingToText(const SettingValue& value);

}  // namespace settings

#include "Registry.h"

#include "AnsiCodePage.h"
#include "RegistryHive.h"

#include <QStringList>
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

using platform::detail::RegistryHive;
using platform::detail::StoredValue;

struct platform::HKEY__ {
    std::shared_ptr<RegistryHive> hive;
    QString path;        // display case, e.g. HKEY_LOCAL_MACHINE\SOFTWARE
    QString foldedPath;
    platform::REGSAM access = 0;
};

namespace platform {

namespace {

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC |
                                WRITE_OWNER;
constexpr REGSAM kAllKeyRights = KEY_ALL_ACCESS | WRITE_DAC | WRITE_OWNER;

std::recursive_mutex& registryMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

std::unordered_set<HKEY>& liveHandles()
{
    static std::unordered_set<HKEY> handles;
    return handles;
}

const char* predefinedName(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    return nullptr;
}

// A view of any handle, predefined or opened, with the rights it carries.
struct KeyRef {
    std::shared_ptr<RegistryHive> hive;
    QString path;
    QString foldedPath;
    REGSAM access = 0;
};

std::optional<KeyRef> resolve(HKEY key)
{
    if (const char* root = predefinedName(key)) {
        auto hive = RegistryHive::acquire();
        const REGSAM access = hive->writable() ? kAllKeyRights : (KEY_READ | MAXIMUM_ALLOWED);
        const QString path = QLatin1String(root);
        return KeyRef{hive, path, RegistryHive::fold(path), access};
    }
    if (!liveHandles().count(key)) return std::nullopt;
    return KeyRef{key->hive, key->path, key->foldedPath, key->access};
}

QStringList subKeyComponents(LPCSTR subKey)
{
    if (!subKey) return {};
    return fromAnsi(QByteArray(subKey)).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

// The display path of a key below another one.
QString childPath(const QString& parentPath, const QStringList& components)
{
    return components.isEmpty() ? parentPath : parentPath + QLatin1Char('\\') + components.join(QLatin1Char('\\'));
}

HKEY newHandle(const KeyRef& parent, const QStringList& components, REGSAM access)
{
    auto* handle = new HKEY__;
    handle->hive = parent.hive;
    handle->path = childPath(parent.path, components);
    handle->foldedPath = RegistryHive::fold(handle->path);
    handle->access = access;
    liveHandles().insert(handle);
    return handle;
}

QString valueName(LPCSTR name) { return name ? fromAnsi(QByteArray(name)) : QString(); }

LONG copyOut(const QByteArray& data, LPBYTE buffer, LPDWORD size)
{
    if (!size) return buffer ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    const auto needed = static_cast<DWORD>(data.size());
    if (!buffer) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed) std::memcpy(buffer, data.constData(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG copyName(const QString& name, LPSTR buffer, LPDWORD chars)
{
    const QByteArray ansi = toAnsi(name);
    if (!buffer || !chars) return ERROR_INVALID_PARAMETER;
    if (*chars < static_cast<DWORD>(ansi.size()) + 1) {
        *chars = static_cast<DWORD>(ansi.size()) + 1;
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, ansi.constData(), ansi.size() + 1);
    *chars = static_cast<DWORD>(ansi.size());
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired, PHKEY phkResult)
{
    std::lock_guard lock(registryMutex());
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    const auto parent = resolve(hKey);
    if (!parent) return ERROR_INVALID_HANDLE;
    if (!parent->hive->keyExists(parent->foldedPath)) return ERROR_KEY_DELETED;

    const QStringList components = subKeyComponents(lpSubKey);
    if (!parent->hive->keyExists(RegistryHive::fold(childPath(parent->path, components)))) return ERROR_FILE_NOT_FOUND;

    REGSAM granted = samDesired & ~MAXIMUM_ALLOWED;
    if (samDesired & MAXIMUM_ALLOWED) granted |= parent->hive->writable() ? kAllKeyRights : KEY_READ;
    if ((granted & kWriteRights) && !parent->hive->acceptsWrites()) return ERROR_ACCESS_DENIED;
    *phkResult = newHandle(*parent, components, granted);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    std::lock_guard lock(registryMutex());
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    const auto parent = resolve(hKey);
    if (!parent) return ERROR_INVALID_HANDLE;
    if (!parent->hive->keyExists(parent->foldedPath)) return ERROR_KEY_DELETED;

    const QStringList components = subKeyComponents(lpSubKey);
    const QString display = childPath(parent->path, components);
    const bool exists = parent->hive->keyExists(RegistryHive::fold(display));
    if (!exists) {
        if (!parent->hive->acceptsWrites() || !(parent->access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
        if (!parent->hive->createKeyPath(display.split(QLatin1Char('\\')))) return ERROR_ACCESS_DENIED;
    }
    const REGSAM granted = parent->hive->writable() ? kAllKeyRights : KEY_READ;
    *phkResult = newHandle(*parent, components, granted);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData)
{
    std::lock_guard lock(registryMutex());
    const auto key = resolve(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    if (!(key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (!key->hive->keyExists(key->foldedPath)) return ERROR_KEY_DELETED;
    const auto stored = key->hive->value(key->foldedPath, RegistryHive::fold(valueName(lpValueName)));
    if (!stored) return ERROR_FILE_NOT_FOUND;
    if (lpType) *lpType = stored->type;
    return copyOut(stored->data, lpData, lpcbData);
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData,
                    DWORD cbData)
{
    std::lock_guard lock(registryMutex());
    const auto key = resolve(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    if (!key->hive->acceptsWrites() || !(key->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    if (!key->hive->keyExists(key->foldedPath)) return ERROR_KEY_DELETED;
    const QByteArray data = cbData ? QByteArray(reinterpret_cast<const char*>(lpData), static_cast<int>(cbData))
                                   : QByteArray("", 0);
    if (!key->hive->setValue(key->foldedPath, StoredValue{valueName(lpValueName), dwType, data}))
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

LONG RegQueryMultipleValuesA(HKEY hKey, PVALENTA val_list, DWORD num_vals, LPSTR lpValueBuf, LPDWORD ldwTotsize)
{
    std::lock_guard lock(registryMutex());
    if (!ldwTotsize || (num_vals && !val_list)) return ERROR_INVALID_PARAMETER;
    const auto key = resolve(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    if (!(key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    // One read of the key's values: a snapshot, where one read per value
    // could fall on either side of another process's save.
    const auto values = key->hive->values(key->foldedPath);
    std::vector<const StoredValue*> found;
    DWORD total = 0;
    for (DWORD i = 0; i < num_vals; ++i) {
        const QString folded = RegistryHive::fold(valueName(val_list[i].ve_valuename));
        const auto match = std::find_if(values.begin(), values.end(),
                                        [&](const StoredValue& v) { return RegistryHive::fold(v.name) == folded; });
        if (match == values.end()) return ERROR_CANTREAD;
        found.push_back(&*match);
        total += static_cast<DWORD>(match->data.size());
    }
    if (!lpValueBuf || *ldwTotsize < total) {
        *ldwTotsize = total;
        return lpValueBuf ? ERROR_MORE_DATA : ERROR_SUCCESS;
    }
    DWORD at = 0;
    for (DWORD i = 0; i < num_vals; ++i) {
        const QByteArray& data = found[i]->data;
        if (!data.isEmpty()) std::memcpy(lpValueBuf + at, data.constData(), data.size());
        val_list[i].ve_valuelen = static_cast<DWORD>(data.size());
        val_list[i].ve_valueptr = reinterpret_cast<DWORD_PTR>(lpValueBuf + at);
        val_list[i].ve_type = found[i]->type;
        at += static_cast<DWORD>(data.size());
    }
    *ldwTotsize = total;
    return ERROR_SUCCESS;
}

LONG RegSetMultipleValuesA(HKEY hKey, const VALENTA* val_list, DWORD num_vals)
{
    std::lock_guard lock(registryMutex());
    if (num_vals && !val_list) return ERROR_INVALID_PARAMETER;
    const auto key = resolve(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    if (!key->hive->acceptsWrites() || !(key->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (!key->hive->keyExists(key->foldedPath)) return ERROR_KEY_DELETED;
    std::vector<StoredValue> values;
    for (DWORD i = 0; i < num_vals; ++i) {
        const VALENTA& entry = val_list[i];
        const auto* bytes = reinterpret_cast<const char*>(entry.ve_valueptr);
        if (!bytes && entry.ve_valuelen) return ERROR_INVALID_PARAMETER;
        values.push_back({valueName(entry.ve_valuename), entry.ve_type,
                          entry.ve_valuelen ? QByteArray(bytes, static_cast<int>(entry.ve_valuelen)) : QByteArray("", 0)});
    }
    if (values.empty()) return ERROR_SUCCESS;
    return key->hive->setValues(key->foldedPath, values) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegCloseKey(HKEY hKey)
{
    std::lock_guard lock(registryMutex());
    if (predefinedName(hKey)) return ERROR_SUCCESS;
    if (!liveHandles().erase(hKey)) return ERROR_INVALID_HANDLE;
    delete hKey;
    return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName)
{
    std::lock_guard lock(registryMutex());
    const auto key = resolve(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    if (!(key->access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    const auto names = key->hive->childKeyListing(key->foldedPath);
    if (dwIndex >= names->size()) return ERROR_NO_MORE_ITEMS;
    return copyName((*names)[dwIndex], lpName, lpcchName);
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpType,
                   LPBYTE lpData, LPDWORD lpcbData)
{
    std::lock_guard lock(registryMutex());
    const auto key = resolve(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    if (!(key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    const auto values = key->hive->valueListing(key->foldedPath);
    if (dwIndex >= values->size()) return ERROR_NO_MORE_ITEMS;
    const StoredValue& value = (*values)[dwIndex];
    if (const LONG status = copyName(value.name, lpValueName, lpcchValueName); status != ERROR_SUCCESS)
        return status;
    if (lpType) *lpType = value.type;
    return copyOut(value.data, lpData, lpcbData);
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    std::lock_guard lock(registryMutex());
    const auto key = resolve(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    if (!key->hive->acceptsWrites() || !(key->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    const QString folded = RegistryHive::fold(valueName(lpValueName));
    if (!key->hive->value(key->foldedPath, folded)) return ERROR_FILE_NOT_FOUND;
    return key->hive->deleteValue(key->foldedPath, folded) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey)
{
    std::lock_guard lock(registryMutex());
    const auto key = resolve(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    const QStringList components = subKeyComponents(lpSubKey);
    if (components.isEmpty() && predefinedName(hKey)) return ERROR_ACCESS_DENIED;  // never a whole root
    if (!key->hive->acceptsWrites() || !(key->access & DELETE)) return ERROR_ACCESS_DENIED;
    const QString target = RegistryHive::fold(childPath(key->path, components));
    if (!key->hive->keyExists(target)) return ERROR_FILE_NOT_FOUND;
    return key->hive->deleteTree(target) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

RegistryWriteBatch::RegistryWriteBatch()
{
    std::lock_guard lock(registryMutex());
    m_hive = RegistryHive::acquire();
    m_hive->beginBatch();
}

RegistryWriteBatch::~RegistryWriteBatch() { commit(); }

LONG RegistryWriteBatch::commit()
{
    std::lock_guard lock(registryMutex());
    if (!m_hive) return ERROR_SUCCESS;
    const bool saved = m_hive->endBatch();
    m_hive.reset();
    return saved ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

std::string registryHivePath() { return RegistryHive::acquire()->path().toStdString(); }

int registryOpenHandleCount()
{
    std::lock_guard lock(registryMutex());
    return static_cast<int>(liveHandles().size());
}

}  // namespace platform

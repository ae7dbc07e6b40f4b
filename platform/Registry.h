#pragma once
// The registry API the settings store was written against (Win32 names,
// types, error codes and semantics), kept in a SQLite hive file.
//
// Hive file: $PLUVANE_HIVE when set, else $XDG_DATA_HOME/pluvane/hive.sqlite
// (~/.local/share/pluvane/hive.sqlite). HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER both live in it, as under Wine's prefix.
//
// Key and value names are case-insensitive and case-preserving. Access
// masks are enforced: a hive that this process may not write (a file that
// is not writable, or whose permission bits grant nobody write access, which
// holds even for root) refuses every open that asks for a write right. A
// hive that is not a readable hive of ours is treated as empty for reading;
// the first write renames it aside (never overwrites it) and starts afresh.
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

using DWORD = uint32_t;
using LONG = int32_t;
using BYTE = uint8_t;
using REGSAM = DWORD;
using LPCSTR = const char*;
using LPSTR = char*;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;
using DWORD_PTR = uintptr_t;
struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;

inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u));
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u));

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_OUTOFMEMORY = 14;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_CANTREAD = 1012;
constexpr LONG ERROR_CANTWRITE = 1013;
constexpr LONG ERROR_KEY_DELETED = 1018;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM DELETE = 0x00010000;
constexpr REGSAM READ_CONTROL = 0x00020000;
constexpr REGSAM WRITE_DAC = 0x00040000;
constexpr REGSAM WRITE_OWNER = 0x00080000;
constexpr REGSAM KEY_READ = READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;
constexpr REGSAM KEY_WRITE = READ_CONTROL | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;
constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData);
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
LONG RegCloseKey(HKEY hKey);

// One value of a key among several read or written together.
struct VALENTA {
    LPSTR ve_valuename;
    DWORD ve_valuelen;
    DWORD_PTR ve_valueptr;  // where the value's bytes are
    DWORD ve_type;
};
using PVALENTA = VALENTA*;

// The values named, read as they stood at one moment: a save by another
// process is seen whole or not at all. Their bytes go one after another
// into lpValueBuf; each entry gets its length, type and place there.
// ERROR_CANTREAD when one of them is missing, ERROR_MORE_DATA (and the
// size needed in *ldwTotsize) when the buffer is too small.
LONG RegQueryMultipleValuesA(HKEY hKey, PVALENTA val_list, DWORD num_vals, LPSTR lpValueBuf, LPDWORD ldwTotsize);
// Not in the Win32 API: what RegSetValueExA does for each entry (its type,
// ve_valuelen bytes at ve_valueptr), in one transaction, so that another
// process finds all of the values or none of them. Nothing is stored when
// one of them cannot be.
LONG RegSetMultipleValuesA(HKEY hKey, const VALENTA* val_list, DWORD num_vals);

namespace detail {
class RegistryHive;
}
// Not in the Win32 API: the writes made while one lives go to the hive in
// one transaction, made by commit() or when the last one ends. Another
// process sees all of them or none, and a tool that writes many values
// waits for one disk sync instead of two per value. Writes from any thread
// of the process join it; each still succeeds or fails on its own.
class RegistryWriteBatch {
public:
    RegistryWriteBatch();
    ~RegistryWriteBatch();
    RegistryWriteBatch(const RegistryWriteBatch&) = delete;
    RegistryWriteBatch& operator=(const RegistryWriteBatch&) = delete;
    // ERROR_SUCCESS, or ERROR_CANTWRITE when what was written could not be
    // saved.
    LONG commit();

private:
    std::shared_ptr<detail::RegistryHive> m_hive;
};

// For the command-line tool: enumeration and deletion.
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName);
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpType,
                   LPBYTE lpData, LPDWORD lpcbData);
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);  // the key named, its values and all below it

// The hive file in use (for messages and tools).
std::string registryHivePath();
// Handles currently open, so tests can check that every path closes its keys.
int registryOpenHandleCount();

}  // namespace platform

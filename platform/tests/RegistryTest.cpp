#include "HiveFixture.h"
#include "platform/Registry.h"

#include <QFile>
#include <sqlite3.h>
#include <sys/stat.h>
#include <string>

using namespace platform;

namespace {

HKEY create(HKEY parent, const char* path)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(parent, path, &key), ERROR_SUCCESS);
    return key;
}

LONG setRaw(HKEY key, const char* name, DWORD type, const std::string& bytes)
{
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()));
}

class RegistryTest : public HiveFixture {};

}  // namespace

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software\\Pluvane");
    ASSERT_EQ(setRaw(key, "HostName", REG_SZ, std::string("a\0", 2)), ERROR_SUCCESS);
    ASSERT_EQ(setRaw(key, "HOSTNAME", REG_SZ, std::string("bb\0", 3)), ERROR_SUCCESS);
    RegCloseKey(key);

    HKEY reopened = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\KORVATH software\\pluvane", 0, KEY_READ, &reopened),
              ERROR_SUCCESS);
    char name[64];
    DWORD nameChars = sizeof name;
    BYTE data[16];
    DWORD size = sizeof data;
    DWORD type = 0;
    ASSERT_EQ(RegEnumValueA(reopened, 0, name, &nameChars, &type, data, &size), ERROR_SUCCESS);
    EXPECT_STREQ(name, "HostName");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), std::string("bb\0", 3));
    DWORD dummy = sizeof name;
    EXPECT_EQ(RegEnumValueA(reopened, 1, name, &dummy, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(reopened);

    HKEY vendor = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\korvath software", 0, KEY_READ, &vendor), ERROR_SUCCESS);
    nameChars = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(vendor, 0, name, &nameChars), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Pluvane");
    RegCloseKey(vendor);
    EXPECT_EQ(registryOpenHandleCount(), 0);
}

TEST_F(RegistryTest, QueryReportsSizesAndMoreDataLikeWin32)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test");
    const std::string blob("\x00\x01\x02\xff\x7f", 5);
    ASSERT_EQ(setRaw(key, "raw", 0x1234, blob), ERROR_SUCCESS);
    ASSERT_EQ(setRaw(key, "empty", REG_BINARY, std::string()), ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "RAW", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, 0x1234u);
    EXPECT_EQ(size, 5u);

    BYTE small[3] = {9, 9, 9};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "raw", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);

    BYTE exact[5];
    size = sizeof exact;
    ASSERT_EQ(RegQueryValueExA(key, "raw", nullptr, nullptr, exact, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(exact), 5), blob);

    size = 8;
    EXPECT_EQ(RegQueryValueExA(key, "empty", nullptr, &type, exact, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, nullptr, exact, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryTest, ReadsNeverCreateTheHiveOrKeys)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software", 0, 0x2003F, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_FALSE(QFile::exists(hivePath()));
}

TEST_F(RegistryTest, EachHandleCarriesOnlyTheRightsItAskedFor)
{
    RegCloseKey(create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test"));
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    EXPECT_EQ(setRaw(readOnly, "x", REG_SZ, "1"), ERROR_ACCESS_DENIED);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyA(readOnly, "Child", &child), ERROR_ACCESS_DENIED);
    RegCloseKey(readOnly);

    HKEY writeOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", 0, KEY_SET_VALUE, &writeOnly), ERROR_SUCCESS);
    EXPECT_EQ(setRaw(writeOnly, "x", REG_SZ, "1"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(writeOnly, "x", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    RegCloseKey(writeOnly);

    EXPECT_EQ(RegCloseKey(writeOnly), ERROR_INVALID_HANDLE);
    EXPECT_EQ(setRaw(writeOnly, "x", REG_SZ, "1"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registryOpenHandleCount(), 0);
}

TEST_F(RegistryTest, ReadOnlyHiveRefusesEveryWriteRightButStillReads)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software\\Pluvane");
    ASSERT_EQ(setRaw(key, "CardNumber", REG_DWORD, std::string("\x03\0\0\0", 4)), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(::chmod(QFile::encodeName(hivePath()).constData(), 0444), 0);

    HKEY app = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software", 0, 0x2003F, &app),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software\\Pluvane", 0, KEY_READ, &app),
              ERROR_SUCCESS);
    BYTE data[4];
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExA(app, "cardnumber", nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(data[0], 3);
    RegCloseKey(app);
    HKEY created = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", &created), ERROR_ACCESS_DENIED);
    EXPECT_EQ(registryOpenHandleCount(), 0);
}

TEST_F(RegistryTest, DamagedHiveReadsEmptyAndIsSetAsideNotOverwritten)
{
    const QByteArray garbage("this is not a settings hive at all, just some bytes\n");
    {
        QFile file(hivePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(garbage);
    }
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);

    key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software");
    ASSERT_EQ(setRaw(key, "v", REG_SZ, std::string("ok\0", 3)), ERROR_SUCCESS);
    RegCloseKey(key);

    const QStringList aside = QDir(dirPath()).entryList({QStringLiteral("hive.sqlite.damaged-*")});
    ASSERT_EQ(aside.size(), 1);
    QFile kept(QDir(dirPath()).filePath(aside.first()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), garbage);

    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteTreeRemovesKeysValuesAndDescendantsOnly)
{
    HKEY a = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B");
    setRaw(a, "x", REG_SZ, "1");
    RegCloseKey(a);
    HKEY ab = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\AB");
    setRaw(ab, "y", REG_SZ, "1");
    RegCloseKey(ab);

    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "software\\a"), ERROR_SUCCESS);
    HKEY probe = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B", 0, KEY_READ, &probe), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\AB", 0, KEY_ALL_ACCESS, &probe), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(probe, "Y"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(probe, "y"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(probe);
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, nullptr), ERROR_ACCESS_DENIED);
}

// Statements are kept prepared between calls while a handle holds the hive
// open; kept ones must hold no lock, or another process's save would wait
// out its busy timeout behind a front end that only read.
TEST_F(RegistryTest, ReadsLeaveNoLockForAnotherProcessWhileHandlesStayOpen)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software\\Pluvane");
    ASSERT_EQ(setRaw(key, "A", REG_SZ, std::string("1\0", 2)), ERROR_SUCCESS);
    ASSERT_EQ(setRaw(key, "B", REG_SZ, std::string("2\0", 2)), ERROR_SUCCESS);
    char name[16];
    DWORD nameChars = sizeof name;
    ASSERT_EQ(RegEnumValueA(key, 0, name, &nameChars, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    BYTE data[16];
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "B", nullptr, nullptr, data, &size), ERROR_SUCCESS);

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(hivePath()).constData(), &other), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(other);
    EXPECT_EQ(sqlite3_exec(other, "UPDATE vals SET data = CAST('3' || char(0) AS BLOB) WHERE name_folded = 'b'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);

    // The kept statements read and write the file as it is now.
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "B", nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), std::string("3\0", 2));
    ASSERT_EQ(setRaw(key, "B", REG_SZ, std::string("4\0", 2)), ERROR_SUCCESS);
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "b", nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), std::string("4\0", 2));
    RegCloseKey(key);
    EXPECT_EQ(registryOpenHandleCount(), 0);
}

namespace {

std::vector<std::string> subKeyNames(HKEY key)
{
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[64];
        DWORD chars = sizeof name;
        if (RegEnumKeyExA(key, i, name, &chars) != ERROR_SUCCESS) break;
        names.emplace_back(name, chars);
    }
    return names;
}

std::vector<std::string> valuesAsText(HKEY key)
{
    std::vector<std::string> values;
    for (DWORD i = 0;; ++i) {
        char name[64];
        DWORD chars = sizeof name;
        BYTE data[64];
        DWORD size = sizeof data;
        if (RegEnumValueA(key, i, name, &chars, nullptr, data, &size) != ERROR_SUCCESS) break;
        values.push_back(std::string(name, chars) + "=" + std::string(reinterpret_cast<char*>(data), size));
    }
    return values;
}

void runOn(const QString& hive, const char* sql)
{
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(hive).constData(), &other), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(other);
    sqlite3_close(other);
}

}  // namespace

// A key is read once for a walk over its indexes; whatever changes it in
// between, here or in another process, is seen at the next index asked.
TEST_F(RegistryTest, EnumerationSeesEveryChangeMadeBetweenIndexes)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Walk");
    for (const char* child : {"b", "A", "c\\deeper", "a b", "a[", "c!", "c]", "c^\\x", "c\\deeper\\still"})
        RegCloseKey(create(key, child));
    HKEY sibling = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Walk]");  // just past the range below Walk
    RegCloseKey(sibling);
    ASSERT_EQ(setRaw(key, "one", REG_SZ, "1"), ERROR_SUCCESS);
    ASSERT_EQ(setRaw(key, "two", REG_SZ, "2"), ERROR_SUCCESS);

    // Direct children only, in folded order, the descendants and the sibling left out.
    EXPECT_EQ(subKeyNames(key), (std::vector<std::string>{"A", "a b", "a[", "b", "c", "c!", "c]", "c^"}));
    EXPECT_EQ(valuesAsText(key), (std::vector<std::string>{"one=1", "two=2"}));

    // Changed here, between two indexes of one walk.
    char name[64];
    DWORD chars = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(key, 0, name, &chars), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteTreeA(key, "A"), ERROR_SUCCESS);
    chars = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(key, 0, name, &chars), ERROR_SUCCESS);
    EXPECT_EQ(std::string(name, chars), "a b");
    ASSERT_EQ(setRaw(key, "two", REG_SZ, "22"), ERROR_SUCCESS);
    EXPECT_EQ(valuesAsText(key), (std::vector<std::string>{"one=1", "two=22"}));

    // Changed by another process while this one holds the listings.
    ASSERT_EQ(subKeyNames(key).size(), 7u);
    runOn(hivePath(),
          "INSERT INTO keys(path_folded, path) VALUES('hkey_local_machine\\software\\walk\\0', "
          "'HKEY_LOCAL_MACHINE\\SOFTWARE\\Walk\\0');"
          "UPDATE vals SET data = CAST('111' AS BLOB) WHERE name_folded = 'one';");
    EXPECT_EQ(subKeyNames(key), (std::vector<std::string>{"0", "a b", "a[", "b", "c", "c!", "c]", "c^"}));
    EXPECT_EQ(valuesAsText(key), (std::vector<std::string>{"one=111", "two=22"}));

    // Written inside a batch, before it is saved.
    {
        RegistryWriteBatch batch;
        RegCloseKey(create(key, "d"));
        EXPECT_EQ(subKeyNames(key).back(), "d");
    }
    EXPECT_EQ(subKeyNames(key).size(), 9u);
    RegCloseKey(key);
}

// The settings hive opening any file: whatever it reads before a write it
// still reads after one, a value written reads back, and a file it sets
// aside as damaged is kept byte for byte.
#include "platform/Registry.h"
#include "platform/testing/SqliteSyncs.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

using namespace platform;

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

// "key\\name" in lower case -> type and data. A salvage that lost a key's
// own row keeps its path in folded case (the registry's names are case
// blind), so names are compared as the registry compares them.
using Values = std::map<std::string, std::string>;

std::string folded(std::string name)
{
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// Everything that reads, down a bounded number of keys.
void readTree(HKEY parent, const std::string& path, Values& values, int& keysLeft)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameChars = sizeof name;
        BYTE data[4096];
        DWORD type = 0, size = sizeof data;
        const LONG status = RegEnumValueA(key, i, name, &nameChars, &type, data, &size);
        if (status == ERROR_NO_MORE_ITEMS || status != ERROR_SUCCESS) break;
        values[folded(path + "\\" + std::string(name, nameChars))] =
            std::to_string(type) + ":" + std::string(reinterpret_cast<const char*>(data), size);
    }
    std::vector<std::string> children;
    for (DWORD i = 0; keysLeft > 0; ++i) {
        char name[256];
        DWORD chars = sizeof name;
        if (RegEnumKeyExA(key, i, name, &chars) != ERROR_SUCCESS) break;
        children.emplace_back(name, chars);
        --keysLeft;
    }
    RegCloseKey(key);
    for (const auto& child : children) readTree(HKEY_LOCAL_MACHINE, path.empty() ? child : path + "\\" + child, values, keysLeft);
}

Values readAll()
{
    Values values;
    int keysLeft = 64;
    readTree(HKEY_LOCAL_MACHINE, "", values, keysLeft);
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    sqlitesyncs::install(/*skipSyncs=*/true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One folder and one hive path for every input, emptied each time: a
    // new path per input would leave a new environment string behind each
    // time (setenv keeps them all), and memory that grows from input to
    // input makes libFuzzer run each one twice and search the heap for leaks.
    static QTemporaryDir dir;
    require(dir.isValid(), "a scratch folder");
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
        QFile::remove(dir.filePath(name));
    const QString hive = dir.filePath(QStringLiteral("hive.sqlite"));
    const QByteArray original(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile file(hive);
        require(file.open(QIODevice::WriteOnly), "the hive file opens");
        file.write(original);
        // The hive warns once per file it finds damaged, known by path, size
        // and time: one fixed time keeps that list from growing with every
        // damaged input of a size seen before.
        file.setFileTime(QDateTime::fromSecsSinceEpoch(0, Qt::UTC), QFileDevice::FileModificationTime);
    }
    static const bool pointed = qputenv("PLUVANE_HIVE", hive.toLocal8Bit());
    require(pointed, "the hive's path set");

    const Values before = readAll();
    HKEY key = nullptr;
    static const char kProbe[] = "written by the fuzzer";
    bool written = false;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software\\Pluvane", &key) == ERROR_SUCCESS) {
        written = RegSetValueExA(key, "FuzzProbe", 0, REG_SZ, reinterpret_cast<const BYTE*>(kProbe),
                                 sizeof kProbe) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    Values after = readAll();
    if (written) {
        const auto probe = after.find(folded("SOFTWARE\\Korvath Software\\Pluvane\\FuzzProbe"));
        require(probe != after.end() && probe->second == "1:" + std::string(kProbe, sizeof kProbe),
                "a value written reads back");
    }
    for (const auto& [name, value] : before) {
        if (name == folded("SOFTWARE\\Korvath Software\\Pluvane\\FuzzProbe")) continue;
        const auto kept = after.find(name);
        require(kept != after.end() && kept->second == value, "a value that read before a write reads after it");
    }

    const QStringList setAside = QDir(dir.path()).entryList({QStringLiteral("hive.sqlite.damaged-*")}, QDir::Files);
    if (!setAside.isEmpty()) {
        bool kept = false;
        for (const QString& name : setAside) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly) && file.readAll() == original) kept = true;
        }
        require(kept, "a damaged hive is kept byte for byte");
    }
    return 0;
}

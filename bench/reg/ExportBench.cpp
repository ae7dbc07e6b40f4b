// pluvane-reg export of a hive whose keys have many subkeys and values,
// against a bare SQLite read of every row of the same file, in the same run,
// as the hive grows four-fold: an export that reads each key once grows as
// the hive does, one that reads a key's listing again for every index grows
// with its square.
//   reg_export_bench [LARGEST_KEYS]   (default 16000)
#include "platform/Registry.h"
#include "platform/regtool/RegCommands.h"
#include "Milliseconds.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>

using namespace platform;

namespace {

// One wide key with `keys` subkeys of two values each, half of them with a
// subkey of their own, and as many values on the wide key itself.
bool fillHive(int keys)
{
    RegistryWriteBatch batch;
    HKEY wide = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Bench\\Wide", &wide) != ERROR_SUCCESS) return false;
    bool ok = true;
    for (int i = 0; ok && i < keys; ++i) {
        const QByteArray name = QByteArray("Station ") + QByteArray::number(i);
        HKEY child = nullptr;
        ok = RegCreateKeyA(wide, name.constData(), &child) == ERROR_SUCCESS;
        for (const char* value : {"Latitude", "Longitude"})
            ok = ok && RegSetValueExA(child, value, 0, REG_SZ, reinterpret_cast<const BYTE*>("51.5"), 5) == ERROR_SUCCESS;
        if (ok && i % 2 == 0) {
            HKEY below = nullptr;
            ok = RegCreateKeyA(child, "Heard", &below) == ERROR_SUCCESS;
            if (ok) RegCloseKey(below);
        }
        if (child) RegCloseKey(child);
        ok = ok && RegSetValueExA(wide, name.constData(), 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4) ==
                       ERROR_SUCCESS;
    }
    RegCloseKey(wide);
    return ok && batch.commit() == ERROR_SUCCESS;
}

qint64 bareReadOfEveryRow(const QByteArray& path)
{
    sqlite3* db = nullptr;
    qint64 bytes = 0;
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        for (const char* sql : {"SELECT path FROM keys ORDER BY path_folded",
                                "SELECT key_folded, name, type, data FROM vals ORDER BY key_folded, rowid"}) {
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) continue;
            while (sqlite3_step(stmt) == SQLITE_ROW)
                for (int column = 0; column < sqlite3_column_count(stmt); ++column)
                    bytes += sqlite3_column_bytes(stmt, column);
            sqlite3_finalize(stmt);
        }
    }
    sqlite3_close(db);
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    const int largest = argc > 1 ? std::atoi(argv[1]) : 16000;
    QTemporaryDir dir;
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    regtool::Console console{outStream, errStream, [](const QString&) { return true; }};

    std::printf("%8s %12s %12s %12s %10s\n", "subkeys", "export ms", "bare ms", "export/bare", "file kB");
    double firstExport = 0, firstBare = 0;
    int first = 0;
    for (int keys = 250; keys <= largest; keys *= 4) {
        const QString hive = QDir(dir.path()).filePath(QStringLiteral("h%1.sqlite").arg(keys));
        qputenv("PLUVANE_HIVE", hive.toLocal8Bit());
        if (!fillHive(keys)) {
            std::fprintf(stderr, "could not fill the hive with %d keys\n", keys);
            return 1;
        }
        const QString target = QDir(dir.path()).filePath(QStringLiteral("e%1.reg").arg(keys));
        int code = 0;
        const double exported = milliseconds([&] {
            code = regtool::runRegCommand({QStringLiteral("export"), QStringLiteral("HKLM\\SOFTWARE\\Bench"), target,
                                           QStringLiteral("/y")},
                                          console);
        });
        qint64 bytes = 0;
        const double bare = milliseconds([&] { bytes = bareReadOfEveryRow(QFile::encodeName(hive)); });
        if (code != 0 || bytes == 0 || QFile(target).size() == 0) {
            std::fprintf(stderr, "export failed: %s\n", qPrintable(err));
            return 1;
        }
        std::printf("%8d %12.1f %12.1f %11.1fx %10lld\n", keys, exported, bare, exported / bare,
                    static_cast<long long>(QFile(hive).size() / 1024));
        if (!first) {
            first = keys;
            firstExport = exported;
            firstBare = bare;
        } else {
            std::printf("%8s size x%d: export x%.1f, bare x%.1f  (linear = x%d, quadratic = x%d)\n", "", keys / first,
                        exported / firstExport, bare / firstBare, keys / first, (keys / first) * (keys / first));
        }
    }
    return 0;
}

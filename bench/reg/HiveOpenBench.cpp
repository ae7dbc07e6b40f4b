// One settings read as the settings store makes it (open the keys, query,
// close: the hive file is opened and checked afresh each time) against a
// bare SQLite open, select and close of the same file, in the same run.
//   hive_open_bench [READS]   (default 2000)
#include "platform/Registry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>

using namespace platform;

namespace {

bool storeTenSettings()
{
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software\\Pluvane", &key) != ERROR_SUCCESS) return false;
    bool ok = true;
    for (const char* name : {"HostName", "HostPort", "CardType", "CardNumber", "IF-Input", "IF-Freqs", "X", "Y",
                             "X-Synop", "Y-Synop"})
        ok = ok && RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool readOneSetting()
{
    HKEY vendor = nullptr, app = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software", 0, 0x2003F, &vendor) != ERROR_SUCCESS)
        return false;
    const bool opened = RegOpenKeyExA(vendor, "Pluvane", 0, 0x2003F, &app) == ERROR_SUCCESS;
    DWORD value = 0, size = 4;
    const bool read = opened && RegQueryValueExA(app, "CardNumber", nullptr, nullptr,
                                                 reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
    if (opened) RegCloseKey(app);
    RegCloseKey(vendor);
    return read && value == 1;
}

bool bareRead(const QByteArray& path)
{
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    sqlite3_stmt* stmt = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "SELECT data FROM vals WHERE key_folded = ? AND name_folded = 'cardnumber'", -1,
                                  &stmt, nullptr) == SQLITE_OK;
    if (ok) sqlite3_bind_text(stmt, 1, "hkey_local_machine\\software\\korvath software\\pluvane", -1, SQLITE_STATIC);
    ok = ok && sqlite3_step(stmt) == SQLITE_ROW;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return ok;
}

template <typename Fn>
double microsecondsEach(int reads, Fn fn)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < reads; ++i)
        if (!fn()) {
            std::fprintf(stderr, "a read failed\n");
            std::exit(1);
        }
    return static_cast<double>(timer.nsecsElapsed()) / 1e3 / reads;
}

}  // namespace

int main(int argc, char** argv)
{
    const int reads = argc > 1 ? std::atoi(argv[1]) : 2000;
    QTemporaryDir dir;
    const QString hive = QDir(dir.path()).filePath(QStringLiteral("hive.sqlite"));
    qputenv("PLUVANE_HIVE", QFile::encodeName(hive));
    if (!storeTenSettings()) return 1;
    const double ours = microsecondsEach(reads, readOneSetting);
    const double bare = microsecondsEach(reads, [&] { return bareRead(QFile::encodeName(hive)); });
    std::printf("one settings read: %.1f us (hive opened and checked each time), bare SQLite open+select: %.1f us, "
                "ratio %.1fx; start-up's ten reads: %.2f ms\n",
                ours, bare, ours / bare, ours * 10 / 1000);
    return 0;
}

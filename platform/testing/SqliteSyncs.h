#pragma once
// A file layer over SQLite's own that counts the syncs asked of it, and can
// leave them out. Tests count them: a sync is what a write costs on a real
// disk. The fuzz targets that write a hive leave them out: they run its
// transactions as the program does (journal, locks, writes), but a run is
// not meant to survive a power cut. Installed as the default file system
// for the whole process; files opened before keep the layer they had.
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace sqlitesyncs {

inline std::atomic<long>& syncCount()
{
    static std::atomic<long> count{0};
    return count;
}

inline bool& skipping()
{
    static bool skip = false;
    return skip;
}

inline sqlite3_vfs* underlying()
{
    static sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    return vfs;
}

// One patched copy per kind of file the underlying layer makes (locking
// styles have method tables of their own); a handful at most.
struct PatchedMethods {
    const sqlite3_io_methods* original = nullptr;
    sqlite3_io_methods patched{};
};
inline PatchedMethods* methodTables()
{
    static PatchedMethods tables[8];
    return tables;
}

inline int countedSync(sqlite3_file* file, int flags)
{
    ++syncCount();
    if (skipping()) return SQLITE_OK;
    for (int i = 0; i < 8; ++i)
        if (&methodTables()[i].patched == file->pMethods) return methodTables()[i].original->xSync(file, flags);
    return SQLITE_IOERR_FSYNC;
}

inline const sqlite3_io_methods* patched(const sqlite3_io_methods* original)
{
    PatchedMethods* tables = methodTables();
    for (int i = 0; i < 8; ++i) {
        if (tables[i].original == original) return &tables[i].patched;
        if (!tables[i].original) {
            tables[i].original = original;
            tables[i].patched = *original;
            tables[i].patched.xSync = countedSync;
            return &tables[i].patched;
        }
    }
    std::fprintf(stderr, "more kinds of SQLite files than expected\n");
    std::abort();
}

inline int openCounted(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags)
{
    const int code = underlying()->xOpen(underlying(), name, file, flags, outFlags);
    if (file->pMethods) file->pMethods = patched(file->pMethods);
    return code;
}

// The sync of the folder after a journal is deleted counts too.
inline int deleteCounted(sqlite3_vfs*, const char* name, int syncDir)
{
    if (syncDir) ++syncCount();
    return underlying()->xDelete(underlying(), name, skipping() ? 0 : syncDir);
}

inline sqlite3_vfs* layer()
{
    static sqlite3_vfs vfs = [] {
        sqlite3_vfs copy = *underlying();
        copy.zName = "counted-syncs";
        copy.pNext = nullptr;
        copy.xOpen = openCounted;
        copy.xDelete = deleteCounted;
        return copy;
    }();
    return &vfs;
}

inline void install(bool skipSyncs)
{
    underlying();
    skipping() = skipSyncs;
    if (sqlite3_vfs_register(layer(), 1) != SQLITE_OK) std::abort();
}

// The underlying layer is the default again for files opened from now on.
inline void uninstall()
{
    sqlite3_vfs_unregister(layer());
    sqlite3_vfs_register(underlying(), 1);
}

}  // namespace sqlitesyncs

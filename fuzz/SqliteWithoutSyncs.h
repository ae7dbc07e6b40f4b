#pragma once
// SQLite's own files with every sync left out: the fuzz targets that write a
// hive run its transactions as the program does (journal, locks, writes),
// but a run is not meant to survive a power cut, and a sync per value
// imported is most of what a .reg import costs. Installed as the default
// file system for the whole fuzzer process.
#include <sqlite3.h>

#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace fuzzsqlite {

inline int skipSync(sqlite3_file*, int) { return SQLITE_OK; }

// One patched copy per kind of file the underlying layer makes (locking
// styles have method tables of their own); a handful at most.
inline const sqlite3_io_methods* withoutSync(const sqlite3_io_methods* original)
{
    static const sqlite3_io_methods* originals[8];
    static sqlite3_io_methods patched[8];
    for (int i = 0; i < 8; ++i) {
        if (originals[i] == original) return &patched[i];
        if (!originals[i]) {
            originals[i] = original;
            patched[i] = *original;
            patched[i].xSync = skipSync;
            return &patched[i];
        }
    }
    std::fprintf(stderr, "more kinds of SQLite files than expected\n");
    std::abort();
}

inline sqlite3_vfs* underlying()
{
    static sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    return vfs;
}

inline int openWithoutSync(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags)
{
    const int code = underlying()->xOpen(underlying(), name, file, flags, outFlags);
    if (file->pMethods) file->pMethods = withoutSync(file->pMethods);
    return code;
}

// Directory syncs after a journal is deleted go too.
inline int deleteWithoutSync(sqlite3_vfs*, const char* name, int)
{
    return underlying()->xDelete(underlying(), name, 0);
}

inline void install()
{
    static sqlite3_vfs vfs = [] {
        sqlite3_vfs copy = *underlying();
        copy.zName = "fuzz-without-syncs";
        copy.pNext = nullptr;
        copy.xOpen = openWithoutSync;
        copy.xDelete = deleteWithoutSync;
        return copy;
    }();
    if (sqlite3_vfs_register(&vfs, 1) != SQLITE_OK) std::abort();
}

}  // namespace fuzzsqlite

#include "MemoryBackedFiles.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace memorybackedfiles {

namespace {

struct State {
    sqlite3_vfs* underlying = nullptr;
    std::string folder;  // with a trailing '/'
    std::map<std::string, std::shared_ptr<Bytes>> files;
    std::map<std::string, int> locks;  // the strongest lock held on each file
};

State& state()
{
    static State s;
    return s;
}

bool served(const char* name)
{
    return name && std::strncmp(name, state().folder.c_str(), state().folder.size()) == 0;
}

struct File {
    sqlite3_file base;
    std::shared_ptr<Bytes>* bytes;  // owned: placement-new'd into SQLite's buffer
    std::string* name;
    bool deleteOnClose;
};

File* asFile(sqlite3_file* file) { return reinterpret_cast<File*>(file); }

int closeFile(sqlite3_file* file)
{
    File* f = asFile(file);
    if (f->deleteOnClose) state().files.erase(*f->name);
    state().locks.erase(*f->name);
    delete f->bytes;
    delete f->name;
    return SQLITE_OK;
}

int readFile(sqlite3_file* file, void* out, int amount, sqlite3_int64 offset)
{
    const Bytes& bytes = **asFile(file)->bytes;
    const sqlite3_int64 available = std::max<sqlite3_int64>(0, sqlite3_int64(bytes.size()) - offset);
    const int copied = int(std::min<sqlite3_int64>(amount, available));
    if (copied > 0) std::memcpy(out, bytes.data() + offset, size_t(copied));
    if (copied == amount) return SQLITE_OK;
    // SQLite relies on a short read leaving the rest zeroed.
    std::memset(static_cast<char*>(out) + copied, 0, size_t(amount - copied));
    return SQLITE_IOERR_SHORT_READ;
}

int writeFile(sqlite3_file* file, const void* in, int amount, sqlite3_int64 offset)
{
    Bytes& bytes = **asFile(file)->bytes;
    if (sqlite3_int64(bytes.size()) < offset + amount) bytes.resize(size_t(offset + amount));
    std::memcpy(bytes.data() + offset, in, size_t(amount));
    return SQLITE_OK;
}

int truncateFile(sqlite3_file* file, sqlite3_int64 size)
{
    Bytes& bytes = **asFile(file)->bytes;
    if (sqlite3_int64(bytes.size()) > size) bytes.resize(size_t(size));
    return SQLITE_OK;
}

int syncFile(sqlite3_file*, int) { return SQLITE_OK; }

int fileSize(sqlite3_file* file, sqlite3_int64* size)
{
    *size = sqlite3_int64((*asFile(file)->bytes)->size());
    return SQLITE_OK;
}

int lockFile(sqlite3_file* file, int level)
{
    int& held = state().locks[*asFile(file)->name];
    held = std::max(held, level);
    return SQLITE_OK;
}

int unlockFile(sqlite3_file* file, int level)
{
    int& held = state().locks[*asFile(file)->name];
    held = std::min(held, level);
    return SQLITE_OK;
}

int checkReservedLock(sqlite3_file*, int* reserved)
{
    *reserved = 0;  // one connection per file: nobody else holds one
    return SQLITE_OK;
}

int fileControl(sqlite3_file*, int, void*) { return SQLITE_NOTFOUND; }
int sectorSize(sqlite3_file*) { return 4096; }
int deviceCharacteristics(sqlite3_file*) { return 0; }

const sqlite3_io_methods* methods()
{
    static const sqlite3_io_methods table = {
        1, closeFile, readFile, writeFile, truncateFile, syncFile, fileSize, lockFile, unlockFile,
        checkReservedLock, fileControl, sectorSize, deviceCharacteristics,
        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    return &table;
}

int openFile(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags)
{
    State& s = state();
    if (!served(name)) return s.underlying->xOpen(s.underlying, name, file, flags, outFlags);
    file->pMethods = nullptr;
    auto found = s.files.find(name);
    if (found == s.files.end()) {
        if (!(flags & SQLITE_OPEN_CREATE)) return SQLITE_CANTOPEN;
        found = s.files.emplace(name, std::make_shared<Bytes>()).first;
    } else if ((flags & SQLITE_OPEN_EXCLUSIVE) && (flags & SQLITE_OPEN_CREATE)) {
        return SQLITE_CANTOPEN;
    }
    File* f = asFile(file);
    f->bytes = new std::shared_ptr<Bytes>(found->second);
    f->name = new std::string(name);
    f->deleteOnClose = (flags & SQLITE_OPEN_DELETEONCLOSE) != 0;
    file->pMethods = methods();
    if (outFlags) *outFlags = flags;
    return SQLITE_OK;
}

int deleteFile(sqlite3_vfs*, const char* name, int syncDir)
{
    State& s = state();
    if (!served(name)) return s.underlying->xDelete(s.underlying, name, syncDir);
    return s.files.erase(name) ? SQLITE_OK : SQLITE_IOERR_DELETE_NOENT;
}

int accessFile(sqlite3_vfs*, const char* name, int flags, int* result)
{
    State& s = state();
    if (!served(name)) return s.underlying->xAccess(s.underlying, name, flags, result);
    const auto found = s.files.find(name);
    // A journal left empty counts as none, as the default layer says of a
    // file of size zero.
    *result = found != s.files.end() && (flags != SQLITE_ACCESS_EXISTS || !found->second->empty());
    return SQLITE_OK;
}

sqlite3_vfs* layer()
{
    static sqlite3_vfs vfs = [] {
        sqlite3_vfs copy = *state().underlying;
        copy.zName = "memory-backed-folder";
        copy.pNext = nullptr;
        copy.szOsFile = std::max<int>(copy.szOsFile, int(sizeof(File)));
        copy.xOpen = openFile;
        copy.xDelete = deleteFile;
        copy.xAccess = accessFile;
        return copy;
    }();
    return &vfs;
}

}  // namespace

void install(const std::string& folder)
{
    State& s = state();
    s.underlying = sqlite3_vfs_find(nullptr);
    s.folder = folder.empty() || folder.back() == '/' ? folder : folder + '/';
    if (sqlite3_vfs_register(layer(), 1) != SQLITE_OK) std::abort();
}

void setContent(const std::string& name, const Bytes& bytes)
{
    auto& slot = state().files[name];
    if (!slot) slot = std::make_shared<Bytes>();
    *slot = bytes;
}

bool locked(const std::string& name)
{
    const auto found = state().locks.find(name);
    return found != state().locks.end() && found->second != SQLITE_LOCK_NONE;
}

}  // namespace memorybackedfiles

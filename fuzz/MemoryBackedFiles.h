#pragma once
// A file layer for SQLite that keeps the files of one folder in memory:
// the databases and their rollback journals a fuzz target makes there are
// read, written, locked and removed without a system call. Files elsewhere
// go to the layer that was the default before. Installed as the default for
// the whole process; one connection at a time per file (a lock is only
// remembered, to tell whether a transaction is still open).
//
// The folder's files on disk are left alone: code that looks at a database
// file itself (whether it exists, its size, whether it may be written) sees
// whatever the caller put there, while SQLite reads and writes the copy in
// memory.
// Built without the fuzzer's coverage: its branches are the harness's, not
// the code under test's, and would only swell the coverage counted.
#include <string>
#include <vector>

namespace memorybackedfiles {

using Bytes = std::vector<char>;

// folder: an absolute path, as SQLite's full path names of its files are.
void install(const std::string& folder);

// Puts bytes in the file: a database's content as it was (the next
// transaction on a connection held open sees a file another process
// changed: its pages are read again, as they would be).
void setContent(const std::string& name, const Bytes& bytes);

// Whether some connection holds a lock on the file: a transaction is open.
bool locked(const std::string& name);

}  // namespace memorybackedfiles

#pragma once
// The hive as a file: where it lives, whether it may be written, and how a
// new one takes its place without a moment in which the name holds a
// half-written or empty file.
#include <QString>
#include <sqlite3.h>

namespace platform::detail {

// $PLUVANE_HIVE, else $XDG_DATA_HOME/pluvane/hive.sqlite (absolute only),
// else ~/.local/share/pluvane/hive.sqlite.
QString hivePathFromEnvironment();

bool fileIsWritable(const QString& path);
bool directoryAllowsCreation(const QString& path);
QString whyNotWritable(const QString& path);

enum class Placement {
    CreateNew,       // nothing at path: never clobber what another process made meanwhile
    ReplaceEmpty,    // a 0-byte file at path, which holds nothing to keep
    ReplaceDamaged,  // the file at path is kept, byte for byte, as path.damaged-TIME
};
struct PlacedHive {
    bool placed = false;
    bool someoneElseMadeIt = false;  // CreateNew found a hive at path
    QString keptAs;                  // ReplaceDamaged: where the damaged file now is
    QString error;
};
// Writes the hive held in source into a new file beside path and puts it at
// path. On failure (a full disk) nothing is left behind and path is as it was.
PlacedHive placeHiveFile(sqlite3* source, const QString& path, Placement placement);

}  // namespace platform::detail

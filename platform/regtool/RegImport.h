#pragma once
// `import`: a .reg file's keys and values into the hive.
#include "RegCommands.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace regtool {

// The entries of a .reg text: logical lines with their continuations
// joined, each with the number of the physical line it starts on.
struct RegFileEntry {
    int lineNumber = 0;
    QString text;
};
// The whole text decoded (UTF-16 with its BOM, else UTF-8); nullopt when it
// lacks the header line. Linear in the text, however many lines continue.
std::optional<std::vector<RegFileEntry>> regFileEntries(const QByteArray& fileBytes);

// Applies a .reg file's bytes to the hive; nameForMessages names it in
// errors. Returns the exit code.
int importRegText(const QByteArray& fileBytes, const QString& nameForMessages, Console& console);
int importRegFile(const QString& fileName, Console& console);

}  // namespace regtool

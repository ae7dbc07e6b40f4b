// pluvane-reg import on any file, into a scratch hive: it imports or says
// why, and what it stored, exported, imports again and exports the same.
#include "platform/RegistryHive.h"
#include "platform/regtool/RegCommands.h"
#include "MemoryBackedFiles.h"
#include "platform/testing/SqliteSyncs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

int run(const QStringList& arguments, QString* errors = nullptr)
{
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    regtool::Console console{outStream, errStream, [](const QString&) { return true; }};
    const int code = regtool::runRegCommand(arguments, console);
    errStream.flush();
    if (errors) *errors = err;
    return code;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An empty hive made once and copied in before each input: creating a
// hive's tables and triggers cost more than the import itself, three times
// over for every input.
memorybackedfiles::Bytes& emptyHive()
{
    static memorybackedfiles::Bytes bytes;
    return bytes;
}

// The scratch hives live in memory (SQLite's files in this folder, journals
// included): on files, their locks, journals made and removed, and the
// pages read again at every transaction were a fifth of an input. Each hive
// also stays on disk as the empty hive written once, for what the hive
// looks at in the file itself (that it exists, is not empty, may be
// written).
QString& scratchFolder()
{
    static QString folder;
    return folder;
}

QString scratchPath(const char* name) { return scratchFolder() + QLatin1Char('/') + QLatin1String(name); }

void emptyHiveAt(const QString& path) { memorybackedfiles::setContent(path.toStdString(), emptyHive()); }

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "a scratch file opens");
    require(file.write(bytes) == bytes.size(), "a scratch file is written");
}

// Imports a file into a hive and exports that hive: one open of the hive for
// both, as an import and an export in one process share it. Opening it again
// for the export (its check, its schema, its statements prepared afresh) was
// a third of an input's cost and reaches nothing the import's open does not.
bool importAndExport(const QString& hive, const QString& from, const QString& to)
{
    qputenv("PLUVANE_HIVE", hive.toLocal8Bit());
    const auto held = platform::detail::RegistryHive::acquire();
    if (run({QStringLiteral("import"), from}) != 0) return false;
    return run({QStringLiteral("export"), QStringLiteral("HKLM"), to, QStringLiteral("/y")}) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    sqlitesyncs::install(/*skipSyncs=*/true);
    QTemporaryDir dir;
    require(dir.isValid(), "a scratch folder");
    const QString hive = dir.filePath(QStringLiteral("empty.sqlite"));
    const QString made = dir.filePath(QStringLiteral("made.reg"));
    writeFile(made, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Made]\r\n\r\n"
                    "[-HKEY_LOCAL_MACHINE\\Made]\r\n");
    qputenv("PLUVANE_HIVE", hive.toLocal8Bit());
    require(run({QStringLiteral("import"), made}) == 0, "an empty hive is made");
    const QByteArray empty = readAll(hive);
    require(!empty.isEmpty(), "the empty hive is kept");
    emptyHive().assign(empty.begin(), empty.end());

    static QTemporaryDir scratch;
    require(scratch.isValid(), "a scratch folder");
    // SQLite names its files by the folder's real path.
    scratchFolder() = QFileInfo(scratch.path()).canonicalFilePath();
    for (const char* name : {"hive.sqlite", "second.sqlite", "third.sqlite"}) writeFile(scratchPath(name), empty);
    memorybackedfiles::install(scratchFolder().toStdString());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString hive = scratchPath("hive.sqlite");
    const QString input = scratchPath("input.reg");
    const QString exported = scratchPath("exported.reg");
    const QString second = scratchPath("second.reg");
    const QString secondHive = scratchPath("second.sqlite");
    const QString third = scratchPath("third.reg");
    const QString thirdHive = scratchPath("third.sqlite");
    for (const QString& path : {input, exported, second, third}) QFile::remove(path);
    for (const QString& path : {hive, secondHive, thirdHive}) emptyHiveAt(path);

    QFile file(input);
    require(file.open(QIODevice::WriteOnly), "the input file opens");
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();

    // The first pass may normalise (key paths are trimmed as on the command
    // line, text the code page cannot hold becomes '?'), and so may the
    // first export's import: kept inputs with such names export differently
    // twice. After that an export must come back through import unchanged.
    {
        qputenv("PLUVANE_HIVE", hive.toLocal8Bit());
        const auto held = platform::detail::RegistryHive::acquire();
        QString errors;
        if (run({QStringLiteral("import"), input}, &errors) != 0) {
            require(!errors.isEmpty(), "a refused import says why");
            return 0;
        }
        if (run({QStringLiteral("export"), QStringLiteral("HKLM"), exported, QStringLiteral("/y")}) != 0) return 0;
    }
    require(importAndExport(secondHive, exported, second), "an export imports and exports again");
    // Most exports come back unchanged at once: then a third round, which
    // imports the same file into the same empty hive, can only repeat it.
    const QByteArray secondBytes = readAll(second);
    if (readAll(exported) == secondBytes) return 0;
    require(importAndExport(thirdHive, second, third), "a second export imports and exports again");
    require(secondBytes == readAll(third), "an export survives import and export unchanged");
    return 0;
}

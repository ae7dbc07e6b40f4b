// pluvane-reg import on any file, into a scratch hive: it imports or says
// why, and what it stored, exported, imports again and exports the same.
#include "platform/RegistryHive.h"
#include "platform/regtool/RegCommands.h"
#include "MemoryBackedFiles.h"
#include "platform/testing/SqliteSyncs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
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

// The scratch hive lives in memory (SQLite's files in this folder, journals
// included): on files, their locks, journals made and removed, and the
// pages read again at every transaction were a fifth of an input. The hive
// also stays on disk as the empty hive written once, for what the hive
// looks at in the file itself (that it exists, is not empty, may be
// written).
QString& scratchFolder()
{
    static QString folder;
    return folder;
}

QString scratchPath(const char* name) { return scratchFolder() + QLatin1Char('/') + QLatin1String(name); }

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "a scratch file opens");
    require(file.write(bytes) == bytes.size(), "a scratch file is written");
}

QString hivePath() { return scratchPath("hive.sqlite"); }

// One hive for every import, opened once and held, and emptied before each
// import by putting the empty hive's bytes back under its connection (SQLite
// sees a file another process changed, and reads its pages again). Opening
// it (its check, its schema read, its statements prepared afresh) is the
// same for every input, and was a fifth of an input's time even in memory.
// A transaction the last import left open, or damage it met, would not
// survive that: the hive is then closed (rolling it back) and opened afresh.
// So is it when asked (one input in 64): the opening and closing are then
// counted in the coverage, as the fuzzer counts only what the inputs it
// keeps reach.
std::shared_ptr<platform::detail::RegistryHive>& heldHive()
{
    static std::shared_ptr<platform::detail::RegistryHive> held;
    return held;
}

void emptyTheHive(bool afresh = false)
{
    auto& held = heldHive();
    const std::string path = hivePath().toStdString();
    if (afresh || memorybackedfiles::locked(path) || (held && held->damaged())) held.reset();
    memorybackedfiles::setContent(path + "-journal", {});
    memorybackedfiles::setContent(path, emptyHive());
    if (!held) {
        qputenv("PLUVANE_HIVE", hivePath().toLocal8Bit());
        held = platform::detail::RegistryHive::acquire();
    }
}

// Empties the hive at the end of an input and reads from it, so that the
// pages the input's imports cached, and the listings its exports kept, are
// let go now, not in the next input:
// libFuzzer runs again, to look for a leak, every input that leaves more
// memory allocated than it found (an eighth of the inputs, when each input
// freed the last one's pages).
struct EmptiedAtTheEnd {
    ~EmptiedAtTheEnd()
    {
        emptyTheHive();
        const QString root = QStringLiteral("hkey_local_machine");
        heldHive()->keyExists(root);
        // The listings kept from the input's export go too, one small
        // listing each taking their place.
        heldHive()->childKeyListing(root);
        heldHive()->valueListing(root);
    }
};

// Imports a file into the empty hive and exports that hive.
bool importAndExport(const QString& from, const QString& to)
{
    emptyTheHive();
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
    writeFile(hivePath(), empty);
    memorybackedfiles::install(scratchFolder().toStdString());

    // Emptying the held hive must make its connection forget what the last
    // import wrote: a page cache kept would pass every input's check
    // unnoticed, each import adding to the last.
    const QString kept = scratchPath("kept.reg"), shown = scratchPath("shown.reg");
    writeFile(kept, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Kept]\r\n\"v\"=\"1\"\r\n");
    const auto exportedNow = [&] {
        require(run({QStringLiteral("export"), QStringLiteral("HKLM"), shown, QStringLiteral("/y")}) == 0,
                "the held hive exports");
        return readAll(shown);
    };
    emptyTheHive();
    require(run({QStringLiteral("import"), kept}) == 0 && exportedNow().contains("Kept"), "the held hive imports");
    emptyTheHive();
    require(!exportedNow().contains("Kept"), "an emptied hive forgets the last import");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString input = scratchPath("input.reg");
    const QString exported = scratchPath("exported.reg");
    const QString second = scratchPath("second.reg");
    const QString third = scratchPath("third.reg");
    for (const QString& path : {input, exported, second, third}) QFile::remove(path);

    QFile file(input);
    require(file.open(QIODevice::WriteOnly), "the input file opens");
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();

    const EmptiedAtTheEnd emptiedAtTheEnd;
    // The first pass may normalise (key paths are trimmed as on the command
    // line, text the code page cannot hold becomes '?'), and so may the
    // first export's import: kept inputs with such names export differently
    // twice. After that an export must come back through import unchanged.
    {
        emptyTheHive(qHashBits(data, size) % 64 == 0);
        QString errors;
        if (run({QStringLiteral("import"), input}, &errors) != 0) {
            require(!errors.isEmpty(), "a refused import says why");
            return 0;
        }
        if (run({QStringLiteral("export"), QStringLiteral("HKLM"), exported, QStringLiteral("/y")}) != 0) return 0;
    }
    require(importAndExport(exported, second), "an export imports and exports again");
    // Most exports come back unchanged at once: then a third round, which
    // imports the same file into the same empty hive, can only repeat it.
    const QByteArray secondBytes = readAll(second);
    if (readAll(exported) == secondBytes) return 0;
    require(importAndExport(second, third), "a second export imports and exports again");
    require(secondBytes == readAll(third), "an export survives import and export unchanged");
    return 0;
}

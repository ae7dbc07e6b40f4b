// pluvane-reg import on any file, into a scratch hive: it imports or says
// why, and what it stored, exported, imports again and exports the same.
#include "platform/regtool/RegCommands.h"
#include "platform/testing/SqliteSyncs.h"

#include <QFile>
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
QByteArray& emptyHive()
{
    static QByteArray bytes;
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "a scratch file opens");
    require(file.write(bytes) == bytes.size(), "a scratch file is written");
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
    emptyHive() = readAll(hive);
    require(!emptyHive().isEmpty(), "the empty hive is kept");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    require(dir.isValid(), "a scratch folder");
    const QString hive = dir.filePath(QStringLiteral("hive.sqlite"));
    const QString input = dir.filePath(QStringLiteral("input.reg"));
    const QString exported = dir.filePath(QStringLiteral("exported.reg"));
    const QString second = dir.filePath(QStringLiteral("second.reg"));
    const QString secondHive = dir.filePath(QStringLiteral("second.sqlite"));
    const QString third = dir.filePath(QStringLiteral("third.reg"));
    const QString thirdHive = dir.filePath(QStringLiteral("third.sqlite"));
    for (const QString& path : {input, exported, second, third}) QFile::remove(path);
    for (const QString& path : {hive, secondHive, thirdHive}) writeFile(path, emptyHive());
    qputenv("PLUVANE_HIVE", hive.toLocal8Bit());

    QFile file(input);
    require(file.open(QIODevice::WriteOnly), "the input file opens");
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();

    QString errors;
    if (run({QStringLiteral("import"), input}, &errors) != 0) {
        require(!errors.isEmpty(), "a refused import says why");
        return 0;
    }
    // The first pass may normalise (key paths are trimmed as on the command
    // line, text the code page cannot hold becomes '?'); after that an
    // export must come back through import unchanged.
    const QString root = QStringLiteral("HKLM");
    if (run({QStringLiteral("export"), root, exported, QStringLiteral("/y")}) != 0) return 0;
    qputenv("PLUVANE_HIVE", secondHive.toLocal8Bit());
    require(run({QStringLiteral("import"), exported}) == 0, "an export imports again");
    require(run({QStringLiteral("export"), root, second, QStringLiteral("/y")}) == 0, "and exports again");
    qputenv("PLUVANE_HIVE", thirdHive.toLocal8Bit());
    require(run({QStringLiteral("import"), second}) == 0, "a second export imports again");
    require(run({QStringLiteral("export"), root, third, QStringLiteral("/y")}) == 0, "and exports again");
    require(readAll(second) == readAll(third), "an export survives import and export unchanged");
    return 0;
}

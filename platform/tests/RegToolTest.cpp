#include "HiveFixture.h"
#include "platform/Registry.h"
#include "platform/regtool/RegCommands.h"
#include "platform/testing/SqliteSyncs.h"

#include <QFile>
#include <QTextStream>

using namespace platform;

namespace {

class RegTool : public HiveFixture {
protected:
    int run(const QStringList& args, bool answer = false)
    {
        out.clear();
        err.clear();
        QTextStream outStream(&out), errStream(&err);
        regtool::Console console{outStream, errStream, [&](const QString& q) {
                                     questions << q;
                                     return answer;
                                 }};
        const int code = regtool::runRegCommand(args, console);
        outStream.flush();
        errStream.flush();
        return code;
    }
    QString file(const QString& name) const { return QDir(dirPath()).filePath(name); }
    void writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readFile(const QString& name)
    {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void storeRaw(const char* name, DWORD type, const QByteArray& bytes)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software\\Pluvane", &key), ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.constData()),
                       static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
    }
    QString out, err;
    QStringList questions;
};

const QString kKey = QStringLiteral("HKLM\\SOFTWARE\\Korvath Software\\Pluvane");

}  // namespace

TEST_F(RegTool, AddQueryAndDeleteSpeakLikeTheWindowsTool)
{
    EXPECT_EQ(run({"add", kKey, "/v", "CardNumber", "/t", "REG_DWORD", "/d", "8"}), 0);
    EXPECT_EQ(run({"add", kKey, "/v", "HostName", "/d", "radio.example"}), 0);
    EXPECT_EQ(run({"query", kKey}), 0);
    EXPECT_EQ(out, QStringLiteral("\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Korvath Software\\Pluvane\n"
                                  "    CardNumber    REG_DWORD    0x8\n"
                                  "    HostName    REG_SZ    radio.example\n\n"));

    EXPECT_EQ(run({"add", kKey, "/v", "cardnumber", "/t", "REG_DWORD", "/d", "3"}, false), 1);
    EXPECT_EQ(questions, QStringList{"Value cardnumber exists, overwrite(Yes/No)?"});
    EXPECT_EQ(run({"add", kKey, "/v", "CardNumber", "/t", "REG_DWORD", "/d", "0x10", "/f"}), 0);
    EXPECT_EQ(run({"query", kKey, "/v", "CARDNUMBER"}), 0);
    EXPECT_TRUE(out.contains("CardNumber    REG_DWORD    0x10"));

    EXPECT_EQ(run({"add", kKey, "/v", "X", "/t", "REG_DWORD", "/d", "twelve"}), 1);
    EXPECT_TRUE(err.contains("not a REG_DWORD number"));
    EXPECT_EQ(run({"delete", kKey, "/v", "HostName", "/f"}), 0);
    EXPECT_EQ(run({"query", kKey, "/v", "HostName"}), 1);
    EXPECT_TRUE(err.contains("unable to find"));
    EXPECT_EQ(run({"query", "HKXX\\SOFTWARE"}), 1);
}

TEST_F(RegTool, ExportAndImportKeepEveryByte)
{
    storeRaw("Plain", REG_SZ, QByteArray("C:\\path \"quoted\"\0", 18));
    storeRaw("NoNul", REG_SZ, QByteArray("abc"));
    storeRaw("TwoNul", REG_SZ, QByteArray("abc\0\0", 5));
    storeRaw("Odd", 0x1234, QByteArray(100, '\xab'));
    storeRaw("", REG_DWORD, QByteArray("\xff\xff\xff\xff", 4));
    storeRaw("Short", REG_DWORD, QByteArray("\x01", 1));
    ASSERT_EQ(run({"export", "HKLM\\SOFTWARE\\Korvath Software", file("a.reg")}), 0);
    const QByteArray exported = readFile("a.reg");
    EXPECT_TRUE(exported.startsWith("Windows Registry Editor Version 5.00\r\n"));
    EXPECT_TRUE(exported.contains("@=dword:ffffffff"));

    qputenv("PLUVANE_HIVE", QDir(dirPath()).filePath("second.sqlite").toLocal8Bit());
    ASSERT_EQ(run({"import", file("a.reg")}), 0) << err.toStdString();
    ASSERT_EQ(run({"export", "HKLM\\SOFTWARE\\Korvath Software", file("b.reg")}), 0);
    EXPECT_EQ(readFile("b.reg"), exported);

    writeFile("c.reg", "Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvath Software\\Pluvane]\r\n");
    ASSERT_EQ(run({"import", file("c.reg")}), 0);
    EXPECT_EQ(run({"query", kKey}), 1);
}

TEST_F(RegTool, AnExportOfTheRootImportsAgain)
{
    storeRaw("HostName", REG_SZ, QByteArray("radio.example", 14));
    ASSERT_EQ(run({"add", "HKLM", "/v", "AtTheRoot", "/t", "REG_DWORD", "/d", "7"}), 0);
    ASSERT_EQ(run({"export", "HKLM", file("root.reg")}), 0);
    const QByteArray exported = readFile("root.reg");
    ASSERT_TRUE(exported.contains("[HKEY_LOCAL_MACHINE]\r\n\"AtTheRoot\"=dword:00000007"));

    qputenv("PLUVANE_HIVE", QDir(dirPath()).filePath("second.sqlite").toLocal8Bit());
    ASSERT_EQ(run({"import", file("root.reg")}), 0) << err.toStdString();
    ASSERT_EQ(run({"export", "HKLM", file("again.reg")}), 0);
    EXPECT_EQ(readFile("again.reg"), exported);

    writeFile("rootgone.reg", "Windows Registry Editor Version 5.00\r\n[-HKEY_LOCAL_MACHINE]\r\n");
    EXPECT_EQ(run({"import", file("rootgone.reg")}), 1);
    EXPECT_TRUE(err.contains("bad key"));
    EXPECT_EQ(run({"query", "HKLM", "/v", "AtTheRoot"}), 0);
}

TEST_F(RegTool, NamesAreTrimmedOneByOneSoAnExportImportsAsTheSameKeys)
{
    // A name ending in white space inside a path, as a hand-edited or
    // damaged file may hold, in a key line and in a removal.
    writeFile("spaced.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor \\Sub\t]\r\n\"v\"=\"1\"\r\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ Gone \\ \\Deep]\r\n"
                            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone\\Deep ]\r\n");
    ASSERT_EQ(run({"import", file("spaced.reg")}), 0) << err.toStdString();
    EXPECT_EQ(run({"query", "HKLM\\SOFTWARE\\Vendor\\Sub", "/v", "v"}), 0);
    EXPECT_EQ(run({"query", "HKLM\\SOFTWARE\\Gone\\Deep"}), 1);
    ASSERT_EQ(run({"export", "HKLM", file("first.reg")}), 0);
    const QByteArray first = readFile("first.reg");
    EXPECT_FALSE(first.contains(" ]")) << first.toStdString();
    EXPECT_FALSE(first.contains(" \\")) << first.toStdString();

    qputenv("PLUVANE_HIVE", QDir(dirPath()).filePath("second.sqlite").toLocal8Bit());
    ASSERT_EQ(run({"import", file("first.reg")}), 0) << err.toStdString();
    ASSERT_EQ(run({"export", "HKLM", file("second.reg")}), 0);
    EXPECT_EQ(readFile("second.reg"), first);
}

TEST_F(RegTool, BrokenRegFilesAreReportedLineByLine)
{
    writeFile("bad.reg", "not a registry file\r\n");
    EXPECT_EQ(run({"import", file("bad.reg")}), 1);
    EXPECT_TRUE(err.contains("is not a registry file"));

    writeFile("partial.reg", "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n"
                             "\"good\"=dword:00000001\r\n\"bad\"=hex:zz\r\n\"unterminated=\"x\r\n");
    EXPECT_EQ(run({"import", file("partial.reg")}), 1);
    EXPECT_TRUE(err.contains("line 4")) << err.toStdString();
    EXPECT_EQ(run({"query", "HKLM\\SOFTWARE\\T", "/v", "good"}), 0);
    EXPECT_EQ(run({"import", file("missing.reg")}), 1);
    EXPECT_TRUE(err.contains("Cannot open"));
}

TEST_F(RegTool, LongContinuedValuesComeBackWholeAndErrorsNameTheEntrysFirstLine)
{
    QByteArray big(120000, '\0');
    for (int i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + 3);
    storeRaw("Big", REG_BINARY, big);
    ASSERT_EQ(run({"export", kKey, file("big.reg")}), 0);
    const QByteArray exported = readFile("big.reg");
    ASSERT_GT(exported.count('\n'), 4000);  // the value runs over thousands of continued lines

    qputenv("PLUVANE_HIVE", QDir(dirPath()).filePath("second.sqlite").toLocal8Bit());
    ASSERT_EQ(run({"import", file("big.reg")}), 0) << err.toStdString();
    ASSERT_EQ(run({"export", kKey, file("again.reg")}), 0);
    EXPECT_EQ(readFile("again.reg"), exported);

    // LF-only and CR-only line ends; the broken value starts on line 5 and runs to line 7.
    for (const char* end : {"\n", "\r"}) {
        QByteArray text = QByteArray("Windows Registry Editor Version 5.00") + end + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]" +
                          end + "\"ok\"=hex:01,\\" + end + "  02" + end + "\"bad\"=hex:01,\\" + end + "  zz,\\" + end +
                          "  03" + end + "\"after\"=dword:00000002" + end;
        writeFile("lines.reg", text);
        EXPECT_EQ(run({"import", file("lines.reg")}), 1);
        EXPECT_TRUE(err.startsWith("ERROR: line 5: bad hex data")) << err.toStdString();
        EXPECT_EQ(run({"query", "HKLM\\SOFTWARE\\T", "/v", "ok"}), 0);
        EXPECT_TRUE(out.contains("REG_BINARY    0102")) << out.toStdString();
        EXPECT_EQ(run({"query", "HKLM\\SOFTWARE\\T", "/v", "after"}), 0);
    }
}

// Two syncs a value made an import of a few hundred values take seconds on a
// real disk; the whole file is one transaction.
TEST_F(RegTool, AnImportIsSavedWholeWithAFewDiskSyncsNotTwoAValue)
{
    sqlitesyncs::install(/*skipSyncs=*/false);
    storeRaw("Existing", REG_DWORD, QByteArray(4, '\1'));
    QByteArray reg = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Many]\r\n";
    for (int i = 0; i < 300; ++i) reg += "\"v" + QByteArray::number(i) + "\"=dword:0000002a\r\n";
    reg += "\"broken\"=dword:zz\r\n\"after\"=\"kept\"\r\n";
    writeFile("many.reg", reg);
    const long before = sqlitesyncs::syncCount();
    EXPECT_EQ(run({"import", file("many.reg")}), 1);
    const long syncs = sqlitesyncs::syncCount() - before;
    sqlitesyncs::uninstall();
    EXPECT_LE(syncs, 8);
    EXPECT_TRUE(err.contains("1 entries")) << err.toStdString();
    // The broken entry takes back only itself.
    EXPECT_EQ(run({"query", "HKLM\\SOFTWARE\\Many"}), 0);
    EXPECT_EQ(out.count("REG_DWORD    0x2a"), 300);
    EXPECT_TRUE(out.contains("after    REG_SZ    kept"));
    EXPECT_EQ(run({"query", kKey, "/v", "Existing"}), 0);
}

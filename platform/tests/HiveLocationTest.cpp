#include "platform/Registry.h"
#include "platform/regtool/RegCommands.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

namespace {

// Where the hive lives when no test variable points at it: a fresh account
// whose home holds nothing yet.
class HiveLocation : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        for (const char* name : {"HOME", "XDG_DATA_HOME", "PLUVANE_HIVE"}) m_saved.push_back({name, qgetenv(name)});
        qputenv("HOME", m_home.path().toLocal8Bit());
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("PLUVANE_HIVE");
        s_warnings.clear();
        m_previousHandler = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            s_warnings << text;
        });
    }
    void TearDown() override
    {
        qInstallMessageHandler(m_previousHandler);
        for (const auto& [name, value] : m_saved) qputenv(name, value);
    }
    int reg(const QStringList& args)
    {
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        regtool::Console console{outStream, errStream, [](const QString&) { return false; }};
        const int code = regtool::runRegCommand(args, console);
        errStream.flush();
        m_err = err;
        return code;
    }
    QString home(const QString& relative) const { return QDir(m_home.path()).filePath(relative); }

    QTemporaryDir m_home;
    QString m_err;
    std::vector<std::pair<const char*, QByteArray>> m_saved;
    QtMessageHandler m_previousHandler = nullptr;
    static inline QStringList s_warnings;
};

const QString kKey = QStringLiteral("HKLM\\SOFTWARE\\Korvath Software\\Pluvane");

}  // namespace

TEST_F(HiveLocation, FreshAccountWithoutLocalShareGetsItsFoldersAndKeepsSettings)
{
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(reg({"add", kKey, "/v", "CardNumber", "/t", "REG_DWORD", "/d", "3", "/f"}), 0)
            << m_err.toStdString();
    }
    EXPECT_TRUE(QFile::exists(home(".local/share/pluvane/hive.sqlite")));
    EXPECT_EQ(reg({"query", kKey, "/v", "CardNumber"}), 0);
    EXPECT_TRUE(s_warnings.isEmpty()) << s_warnings.join('\n').toStdString();
}

TEST_F(HiveLocation, XdgDataHomeIsHonouredAndTheTestVariableStillWins)
{
    qputenv("XDG_DATA_HOME", home("data/deeper").toLocal8Bit());
    EXPECT_EQ(platform::registryHivePath(), home("data/deeper/pluvane/hive.sqlite").toStdString());
    ASSERT_EQ(reg({"add", kKey, "/v", "X", "/t", "REG_DWORD", "/d", "1"}), 0) << m_err.toStdString();
    EXPECT_TRUE(QFile::exists(home("data/deeper/pluvane/hive.sqlite")));

    qputenv("XDG_DATA_HOME", "relative/data");  // not absolute: to be ignored
    EXPECT_EQ(platform::registryHivePath(), home(".local/share/pluvane/hive.sqlite").toStdString());

    qputenv("PLUVANE_HIVE", home("elsewhere.sqlite").toLocal8Bit());
    EXPECT_EQ(platform::registryHivePath(), home("elsewhere.sqlite").toStdString());
}

TEST_F(HiveLocation, AHiveThatCannotBeWrittenSaysWhyOnceAndStillReadsDefaults)
{
    // A file where the folder must go stops root as well as anyone else.
    QFile blocker(home(".local"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    for (int attempt = 0; attempt < 3; ++attempt) {
        platform::HKEY key = nullptr;
        EXPECT_EQ(platform::RegCreateKeyA(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software", &key),
                  platform::ERROR_ACCESS_DENIED);
    }
    ASSERT_EQ(s_warnings.size(), 1) << s_warnings.join('\n').toStdString();
    EXPECT_TRUE(s_warnings.first().contains(QStringLiteral("cannot be saved"))) << s_warnings.first().toStdString();
    EXPECT_TRUE(s_warnings.first().contains(home(".local/share/pluvane/hive.sqlite")));
    EXPECT_EQ(reg({"add", kKey, "/v", "X", "/t", "REG_DWORD", "/d", "1"}), 1);
    EXPECT_EQ(s_warnings.size(), 1);
}

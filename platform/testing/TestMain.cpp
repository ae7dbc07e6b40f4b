#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// One private hive and SYNOP station log per test program, so that no test
// sees the user's settings or reports, or another program's.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir hiveDir;
    qputenv("PLUVANE_HIVE", QDir(hiveDir.path()).filePath("hive.sqlite").toLocal8Bit());
    qputenv("PLUVANE_SYNOP_LOG", QDir(hiveDir.path()).filePath("reports.sqlite").toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

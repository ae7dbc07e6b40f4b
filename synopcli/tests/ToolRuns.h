#pragma once
// Running pluvane-synop (or pluvane-synop-full) as a user does, for the tests.
#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace synop::testing {

struct ToolRun {
    int exitCode = -1;
    QByteArray out, err;
    bool operator==(const ToolRun&) const = default;
};

inline ToolRun runProgram(const QString& program, const QStringList& arguments, const QByteArray& input = {},
                          const std::function<void()>& inChild = {})
{
    QProcess tool;
    if (inChild) tool.setChildProcessModifier(inChild);
    tool.start(program, arguments);
    tool.write(input);
    tool.closeWriteChannel();
    EXPECT_TRUE(tool.waitForFinished(60000)) << arguments.join(' ').toStdString();
    return {tool.exitCode(), tool.readAllStandardOutput(), tool.readAllStandardError()};
}

inline QString writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes)
{
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
}

}  // namespace synop::testing

#include "Log.h"

#include <QDateTime>
#include <cstdio>

namespace cardserver {

namespace {

LogLevel g_level = LogLevel::Normal;
bool g_timeStamps = logTimeStampsWanted();

void write(const QString& line)
{
    std::fprintf(stderr, "%s\n", formatLogLine(line).toLocal8Bit().constData());
    std::fflush(stderr);
}

}  // namespace

void setLogLevel(LogLevel level) { g_level = level; }

void setLogTimeStamps(bool on) { g_timeStamps = on; }

bool logTimeStampsWanted() { return qEnvironmentVariableIsEmpty("JOURNAL_STREAM"); }

QString formatLogLine(const QString& line)
{
    if (!g_timeStamps) return line;
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + line;
}

void logWarning(const QString& line) { write(line); }

void logLine(const QString& line)
{
    if (g_level != LogLevel::Quiet) write(line);
}

void logDetail(const QString& line)
{
    if (g_level == LogLevel::Verbose) write(line);
}

}  // namespace cardserver

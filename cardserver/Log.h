#pragma once
// The server logs to stderr, one line per event, as a daemon should. Lines
// start with the local time unless the journal, which stamps them itself,
// takes the output.
#include <QString>

namespace cardserver {

enum class LogLevel { Quiet, Normal, Verbose };

void setLogLevel(LogLevel level);
// The time stamp is left off when stderr goes to the journal (JOURNAL_STREAM).
void setLogTimeStamps(bool on);
bool logTimeStampsWanted();

// Warnings and errors: logged at every level.
void logWarning(const QString& line);
// Events: not logged when quiet.
void logLine(const QString& line);
// Detail such as each connection: logged only when verbose.
void logDetail(const QString& line);

// The line as it is written (with or without its time stamp).
QString formatLogLine(const QString& line);

}  // namespace cardserver

#pragma once
// The server logs to stderr, one line per event, as a daemon should.
#include <QString>

namespace cardserver {

void logLine(const QString& line);

}  // namespace cardserver

#include "Log.h"

#include <cstdio>

namespace cardserver {

void logLine(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

}  // namespace cardserver

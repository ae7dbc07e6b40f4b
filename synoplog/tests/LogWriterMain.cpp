// A second front end in a process of its own: stores a bulletin report by
// report, each in its own transaction, into the log given.
//   synoplog_writer LOG FIRST_STATION COUNT
#include "LogTestSupport.h"
#include "synoplog/ReportLog.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4) return 2;
    synop::ReportLog log(QString::fromLocal8Bit(argv[1]));
    const int first = std::atoi(argv[2]);
    const int count = std::atoi(argv[3]);
    const QDateTime received = QDateTime::currentDateTimeUtc();
    // Both writers also store the same shared bulletin: it must end up once.
    std::string text = synop::testing::landBulletin(8, 6, 50);
    std::string own = synop::testing::landBulletin(8, 12, first + count);
    text += own;
    int failures = 0;
    int index = 0;
    for (const auto& cut : synop::testing::cutReports(text)) {
        const bool shared = index++ < 50;
        if (!shared && std::atoi(cut.second.station.c_str()) - 10000 < first) continue;
        if (!log.store(cut.first, cut.second, received)) {
            std::fprintf(stderr, "%s\n", qPrintable(log.lastError()));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

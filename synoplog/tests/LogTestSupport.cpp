#include "LogTestSupport.h"

#include <QString>
#include <cstdio>

namespace synop::testing {

std::vector<Cut> cutReports(const std::string& text)
{
    std::vector<Cut> cuts;
    StreamAssembler assembler([&](AssembledReport&& r) {
        DecodedReport decoded = decodeReport(r);
        cuts.emplace_back(std::move(r), std::move(decoded));
    });
    assembler.feed(text);
    assembler.finish();
    return cuts;
}

QDateTime utcAt(const char* isoText)
{
    QDateTime t = QDateTime::fromString(QString::fromLatin1(isoText), Qt::ISODate);
    t.setTimeSpec(Qt::UTC);
    return t;
}

std::string landBulletin(int day, int hour, int stations, const std::string& bbb, int variant)
{
    char line[160];
    std::snprintf(line, sizeof line, "SMDL01 EDZW %02d%02d00%s%s\r\nAAXX %02d%02d1\r\n", day, hour,
                  bbb.empty() ? "" : " ", bbb.c_str(), day, hour);
    std::string text = line;
    for (int i = 0; i < stations; ++i) {
        const int temperature = (i * 7 + variant) % 300;
        std::snprintf(line, sizeof line, "%05d 11458 41606 1%04d 20004 30125 4%04d 52008 7%02d82=\r\n",
                      10000 + i, temperature, ((i * 13 + variant) % 300 + 9850) % 10000, i % 2 ? 80 : 61);
        text += line;
    }
    return text + "NNNN\r\n";
}

}  // namespace synop::testing

// synop_roundtrip SENT.txt RECEIVED.txt [MIN_REPORTS_PCT MIN_RIGHT_PCT MAX_WRONG_PCT]
// Prints the score of a transmission; with bounds, exits 1 when one is missed.
#include "RoundTrip.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

static std::string readFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 6) {
        std::fprintf(stderr, "usage: synop_roundtrip SENT RECEIVED [MIN_REPORTS_PCT MIN_RIGHT_PCT MAX_WRONG_PCT]\n");
        return 2;
    }
    const bench::RoundTripScore s = bench::scoreRoundTrip(readFile(argv[1]), readFile(argv[2]));
    const int values = s.valuesRight + s.valuesWrong + s.valuesDropped;
    const double reportsPct = s.reportsSent ? 100.0 * s.reportsFound / s.reportsSent : 0;
    const double rightPct = values ? 100.0 * s.valuesRight / values : 0;
    const double wrongPct = values ? 100.0 * s.valuesWrong / values : 0;
    std::printf("reports %d/%d (%.0f%%), values right %d/%d (%.1f%%), wrong %d (%.1f%%), dropped %d\n", s.reportsFound,
                s.reportsSent, reportsPct, s.valuesRight, values, rightPct, s.valuesWrong, wrongPct, s.valuesDropped);
    if (argc == 6 && (reportsPct < std::atof(argv[3]) || rightPct < std::atof(argv[4]) || wrongPct > std::atof(argv[5]))) {
        std::printf("below the bounds: reports >= %s%%, right >= %s%%, wrong <= %s%%\n", argv[3], argv[4], argv[5]);
        return 1;
    }
    return 0;
}

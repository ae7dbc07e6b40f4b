#pragma once
// Compares the reports decoded from received teletype text with those of
// the text that was sent: how many reports came through, and how many of
// their values are right, wrong, or dropped.
#include <string>

namespace bench {

struct RoundTripScore {
    int reportsSent = 0;
    int reportsFound = 0;
    int valuesRight = 0;
    int valuesWrong = 0;
    int valuesDropped = 0;
};

RoundTripScore scoreRoundTrip(const std::string& sent, const std::string& received);

}  // namespace bench

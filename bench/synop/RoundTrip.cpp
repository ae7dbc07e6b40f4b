#include "RoundTrip.h"

#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <map>
#include <optional>
#include <vector>

namespace bench {
namespace {

std::map<std::string, synop::DecodedReport> decodeAll(const std::string& text)
{
    std::map<std::string, synop::DecodedReport> reports;
    synop::StreamAssembler assembler([&](synop::AssembledReport&& r) {
        synop::DecodedReport d = synop::decodeReport(r);
        reports.emplace(d.station, std::move(d));
    });
    assembler.feed(text);
    assembler.finish();
    return reports;
}

template <typename T>
void score(const std::optional<T>& sent, const std::optional<T>& received, RoundTripScore& s)
{
    if (!sent) return;
    if (!received) ++s.valuesDropped;
    else if (*received == *sent) ++s.valuesRight;
    else ++s.valuesWrong;
}

}  // namespace

RoundTripScore scoreRoundTrip(const std::string& sent, const std::string& received)
{
    const auto before = decodeAll(sent);
    const auto after = decodeAll(received);
    RoundTripScore s;
    s.reportsSent = static_cast<int>(before.size());
    for (const auto& [station, a] : before) {
        const auto found = after.find(station);
        if (found == after.end()) continue;
        ++s.reportsFound;
        const synop::DecodedReport& b = found->second;
        score(a.airTempC, b.airTempC, s);
        score(a.dewPointC, b.dewPointC, s);
        score(a.stationPressureHpa, b.stationPressureHpa, s);
        score(a.seaLevelPressureHpa, b.seaLevelPressureHpa, s);
        score(a.windDirDeg, b.windDirDeg, s);
        score(a.windSpeed, b.windSpeed, s);
        score(a.visibilityM, b.visibilityM, s);
        score(a.cloudCoverOkta, b.cloudCoverOkta, s);
        score(a.presentWeatherCode, b.presentWeatherCode, s);
        score(a.pressureChangeHpa, b.pressureChangeHpa, s);
        score(a.precipMm, b.precipMm, s);
        score(a.maxTempC, b.maxTempC, s);
        score(a.minTempC, b.minTempC, s);
    }
    return s;
}

}  // namespace bench

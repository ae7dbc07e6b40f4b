#pragma once
// Shared state of one report's decoding, and the section decoders that use it.
#include "synopdecoder/Report.h"
#include "synopdecoder/SynopDecoder.h"

#include <string>
#include <vector>

namespace synop::detail {

struct DecodeContext {
    DecodedReport& out;
    const DecoderOptions& options;
    int windIndicator = -1;  // iw, -1 unknown
    int precipIndicator = -1;  // iR
    int weatherIndicator = -1;  // ix
    bool seaLevelPressureOnly = false;  // ships and buoys report 4PPPP, never 4a3hhh

    void note(const std::string& group, std::string meaning) { out.groups.push_back({group, std::move(meaning)}); }
    // Drops a group: the reason goes on the report's warnings and in the group view.
    void drop(const std::string& group, const std::string& why)
    {
        out.warnings.push_back("group " + group + " dropped: " + why);
        out.groups.push_back({group, "dropped: " + why});
    }
    // A value that cannot be true: dropped only when the checks are on.
    bool implausible(const std::string& group, bool impossible, const std::string& why)
    {
        if (!impossible || !options.plausibilityChecks) return false;
        drop(group, why);
        return true;
    }
};

using Groups = std::vector<std::string>;

// Each consumes groups from index i up to the next section marker.
void decodeIndicatorAndWind(DecodeContext& ctx, const Groups& g, size_t& i);
// Nddff and, when ff is 99, the 00fff group after it.
void decodeWindGroup(DecodeContext& ctx, const Groups& g, size_t& i);
void decodeSection1(DecodeContext& ctx, const Groups& g, size_t& i);
// A 6RRRtR group; section 3 amounts fill the report's precipitation only when section 1 has none.
void decodePrecipitation(DecodeContext& ctx, const std::string& group, bool sectionOne);
void decodeSection3(DecodeContext& ctx, const Groups& g, size_t& i);
void decodeSeaSection(DecodeContext& ctx, const Groups& g, size_t& i);
// 0snTwTwTw of ship and buoy section 2.
void decodeSeaTemperature(DecodeContext& ctx, const std::string& group);
// ", from 270 degrees, period 8 s, height 1.5 m" for the group view.
std::string describeWaves(const WaveTrain& waves);
void decodeBuoy(DecodeContext& ctx, const Groups& g);

// Temperature in tenths with its sign figure (0 positive, 1 negative); nullopt when garbled.
std::optional<double> signedTenths(const std::string& group, size_t signAt);
bool isSectionMarker(const std::string& group);
std::string formatNumber(double value, int decimals = 1);

}  // namespace synop::detail

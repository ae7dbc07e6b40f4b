#pragma once
// Shared state of one report's decoding, and the section decoders that use it.
#include "synopdecoder/Report.h"
#include "synopdecoder/SynopDecoder.h"
#include "synopdecoder/GroupText.h"

#include <string>
#include <type_traits>
#include <vector>

namespace synop::detail {

struct DecodeContext {
    DecodedReport& out;
    const DecoderOptions& options;
    int windIndicator = -1;  // iw, -1 unknown
    int precipIndicator = -1;  // iR
    int weatherIndicator = -1;  // ix
    bool seaLevelPressureOnly = false;  // ships and buoys report 4PPPP, never 4a3hhh

    // The group view costs more than the values; a caller that shows no
    // group view is spared it. A meaning may be given as a function, so that
    // its text is only put together when it is wanted.
    bool describing() const { return options.describeGroups; }
    template <typename Meaning>
    void note(const std::string& group, Meaning&& meaning)
    {
        if (!describing()) return;
        if constexpr (std::is_invocable_v<Meaning>) out.groups.push_back({group, meaning()});
        else out.groups.push_back({group, std::string(std::forward<Meaning>(meaning))});
    }
    // Drops a group: the reason goes on the report's warnings and in the group view.
    void drop(const std::string& group, const std::string& why)
    {
        out.warnings.push_back("group " + group + " dropped: " + why);
        if (describing()) out.groups.push_back({group, "dropped: " + why});
    }
    // A value that cannot be true: dropped only when the checks are on.
    // The reason may be given as a function: most values are sound, and its
    // text is then never put together.
    template <typename Why>
    bool implausible(const std::string& group, bool impossible, Why&& why)
    {
        if (!impossible || !options.plausibilityChecks) return false;
        if constexpr (std::is_invocable_v<Why>) drop(group, why());
        else drop(group, std::string(std::forward<Why>(why)));
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
// Inline: every report has two to four, each with a sign and three figures.
inline std::optional<double> signedTenths(const std::string& group, size_t signAt)
{
    const int sign = digitsValue(group, signAt, 1);
    const int tenths = digitsValue(group, signAt + 1, 3);
    if ((sign != 0 && sign != 1) || tenths < 0) return std::nullopt;
    if (tenths == 0) return 0.0;  // never a negative zero
    return (sign == 1 ? -tenths : tenths) / 10.0;
}
inline bool isSectionMarker(const std::string& g)
{
    if (g.size() == 3) return g[0] == g[1] && g[1] == g[2] && (g[0] == '3' || g[0] == '4' || g[0] == '5');
    return g.size() == 5 && g[0] == '2' && g[1] == '2' && g[2] == '2';
}
std::string formatNumber(double value, int decimals = 1);

}  // namespace synop::detail

#pragma once
// What the stream assembler hands on, and what the decoder makes of it.
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace synop {

enum class ReportForm { Land, Ship, Buoy };  // AAXX, BBXX, ZZYY

const char* reportFormCode(ReportForm form);

namespace detail {
// Equal texts; those of four to eight bytes, as a heading's parts are,
// compared a word at a time instead of through a call.
inline bool sameShortText(const std::string& a, const std::string& b)
{
    const size_t n = a.size();
    if (n != b.size()) return false;
    if (n > 8 || n < 4) return a == b;
    uint32_t a0, a1, b0, b1;
    std::memcpy(&a0, a.data(), 4);
    std::memcpy(&a1, a.data() + n - 4, 4);
    std::memcpy(&b0, b.data(), 4);
    std::memcpy(&b1, b.data() + n - 4, 4);
    return ((a0 ^ b0) | (a1 ^ b1)) == 0;
}
}  // namespace detail

// Abbreviated heading TTAAii CCCC YYGGgg [BBB] of the bulletin a report came in.
struct BulletinHeading {
    std::string ttaaii;
    std::string cccc;
    std::string yygggg;
    std::string bbb;
    // Asked for every report (is it still the same bulletin?).
    bool operator==(const BulletinHeading& o) const
    {
        return detail::sameShortText(ttaaii, o.ttaaii) && detail::sameShortText(cccc, o.cccc)
            && detail::sameShortText(yygggg, o.yygggg) && detail::sameShortText(bbb, o.bbb);
    }
};

// One report cut out of the text stream, with the context it needs to be
// decoded: the bulletin heading and, for land stations, the YYGGiw group of
// the section 0 line that the report shares with its neighbours.
struct AssembledReport {
    ReportForm form = ReportForm::Land;
    std::optional<BulletinHeading> heading;
    std::string landDateGroup;        // YYGGiw after AAXX; empty for ship and buoy
    std::vector<std::string> groups;  // the report's own groups, shift errors corrected
    std::string raw;                  // the report's text as received, lines joined by '\n'
    std::vector<std::string> warnings;
};

// One group and what it says, for the group-by-group view.
struct GroupMeaning {
    std::string group;
    std::string meaning;
};

// One train of waves: wind waves, a swell, or the waves a buoy or a ship's
// instrument measured (the instrument tells no direction).
struct WaveTrain {
    std::optional<double> periodS;
    std::optional<double> heightM;
    std::optional<int> directionDeg;  // swell only: where it comes from; 0 calm
    bool operator==(const WaveTrain&) const = default;
};

// 6IsEsEsRs: ice building up on the ship.
struct IceAccretion {
    std::optional<int> source;       // code table 1751
    std::optional<int> thicknessCm;
    std::optional<int> rate;         // code table 3551
    bool operator==(const IceAccretion&) const = default;
};

// ICE ciSibiDizi, or the plain-language words that follow ICE.
struct SeaIce {
    std::optional<int> concentration;  // ci, code table 0639
    std::optional<int> development;    // Si, code table 3739
    std::optional<int> landOrigin;     // bi, code table 0439
    std::optional<int> bearing;        // Di, code table 0739
    std::optional<int> situation;      // zi, code table 5239
    std::string plainText;
    bool operator==(const SeaIce&) const = default;
};

// Buoy section 3: one selected depth of the temperature and salinity profile.
struct ProfileLevel {
    int depthM = 0;
    std::optional<double> temperatureC;
    std::optional<double> salinityPerMille;
    bool operator==(const ProfileLevel&) const = default;
};

// Buoy section 3: the current at one selected depth.
struct CurrentLevel {
    int depthM = 0;
    std::optional<int> directionDeg;  // where it flows to, as code table 0877 gives it
    bool directionVariable = false;
    std::optional<int> speedCmS;
    bool operator==(const CurrentLevel&) const = default;
};

struct DecodedReport {
    ReportForm form = ReportForm::Land;
    std::optional<BulletinHeading> heading;
    std::string station;
    std::optional<int> day, hour, minute, month;
    std::optional<double> lat, lon;

    std::optional<std::string> windUnit;     // "m/s" or "kt"
    std::optional<int> windDirDeg;           // 0 calm
    bool windVariable = false;               // dd = 99
    std::optional<int> windSpeed;
    std::optional<int> cloudCoverOkta;
    std::optional<int> visibilityM;
    std::optional<double> airTempC, dewPointC;
    std::optional<int> relHumidityPct;
    std::optional<double> maxTempC, minTempC;
    std::optional<double> stationPressureHpa, seaLevelPressureHpa;
    std::optional<int> geopotentialHpa, geopotentialM;
    std::optional<int> pressureTendency;
    std::optional<double> pressureChangeHpa;
    // iRixhVV: iR says where precipitation is reported, ix whether weather
    // is and from which tables (7: an automatic station's, 4680 and 4531).
    std::optional<int> precipIndicator, weatherIndicator;
    // Section 1's 6RRRtR; a trace is 0.0 with precipTrace.
    std::optional<double> precipMm;
    std::optional<int> precipPeriodH;
    bool precipTrace = false;
    // Section 3's own 6RRRtR (often another period than section 1's) and
    // 7R24R24R24R24, the 24-hour total in tenths.
    std::optional<double> precipSection3Mm;
    std::optional<int> precipSection3PeriodH;
    bool precipSection3Trace = false;
    std::optional<double> precip24hMm;
    bool precip24hTrace = false;
    std::optional<int> presentWeatherCode;
    std::string presentWeatherText;
    std::optional<std::array<std::optional<int>, 2>> pastWeather;
    std::optional<int> lowCloud, middleCloud, highCloud;
    std::optional<double> seaSurfaceTempC;

    // Ship's section 2 (FM 13) and buoy sections 2 and 3 (FM 18).
    std::optional<int> shipCourseDeg;               // Ds: 0 stationary, 45..360
    std::optional<int> shipSpeedKtMin, shipSpeedKtMax;  // vs; no maximum above 40 kt
    std::string seaSurfaceTempMethod;               // from sn: intake, bucket, hull contact, other
    std::optional<WaveTrain> instrumentalWaves, windWaves;
    std::vector<WaveTrain> swells;                  // first and second swell
    std::optional<IceAccretion> iceAccretion;
    std::optional<double> wetBulbTempC;
    std::string wetBulbMethod;                      // measured, computed; iced bulb
    std::optional<SeaIce> seaIce;
    std::optional<int> salinityMethod;              // k2, code table 2263
    std::vector<ProfileLevel> seaProfile;
    std::optional<int> currentMethod, currentDuration;  // k6 (code table 2267), k3 (code table 2264)
    std::vector<CurrentLevel> currents;

    bool nil = false;
    std::vector<std::string> warnings;
    std::string raw;
    std::vector<GroupMeaning> groups;
};

}  // namespace synop

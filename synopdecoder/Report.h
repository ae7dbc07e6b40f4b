#pragma once
// What the stream assembler hands on, and what the decoder makes of it.
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace synop {

enum class ReportForm { Land, Ship, Buoy };  // AAXX, BBXX, ZZYY

const char* reportFormCode(ReportForm form);

// Abbreviated heading TTAAii CCCC YYGGgg [BBB] of the bulletin a report came in.
struct BulletinHeading {
    std::string ttaaii;
    std::string cccc;
    std::string yygggg;
    std::string bbb;
    bool operator==(const BulletinHeading&) const = default;
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
    std::optional<double> precipMm;
    std::optional<int> precipPeriodH;
    bool precipTrace = false;
    std::optional<int> presentWeatherCode;
    std::string presentWeatherText;
    std::optional<std::array<std::optional<int>, 2>> pastWeather;
    std::optional<int> lowCloud, middleCloud, highCloud;
    std::optional<double> seaSurfaceTempC;

    bool nil = false;
    std::vector<std::string> warnings;
    std::string raw;
    std::vector<GroupMeaning> groups;
};

}  // namespace synop

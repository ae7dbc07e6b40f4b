#pragma once
// What the tokens of a teletype line look like, for the stream assembler.
#include "synopdecoder/GroupText.h"

#include <string_view>
#include <vector>

namespace synop::detail {

// A line's tokens point into the line; '=' and ';' each become a token "=".
using Tokens = std::vector<std::string_view>;
void tokenize(std::string_view line, Tokens& tokens);

// TTAAii CCCC YYGGgg [BBB]
bool isHeadingLine(const Tokens& t);
bool isLandMarker(std::string_view t);
bool isShipMarker(std::string_view t);
bool isBuoyMarker(std::string_view t);
// Forms that are not decoded here (SYNOP MOBIL, CLIMAT, upper-air parts,
// METAR/TAF and the like): their reports must not be taken for land or ship
// reports.
bool isOtherFormMarker(std::string_view t);
// A bulletin heading whose data type may hold SYNOP, SHIP or BUOY reports.
bool isSurfaceSynopticHeading(std::string_view ttaaii);
// YYGGiw of section 0: a day, an hour and a wind unit indicator that exist.
bool isDateGroup(std::string_view g);
// One character hit or lost: "AAMX", "AXX".
bool nearly(std::string_view t, std::string_view word);
// iRixhVV: iR 0..4, ix 1..7, h and VV digits or solidi.
bool looksLikeIndicatorGroup(std::string_view g);
bool looksLikeWindGroup(std::string_view g);
bool looksLikeCallSign(std::string_view t);
bool isBuoyOrPlatformNumber(std::string_view t);
// D....D or A1bwnbnbnb, YYGGiw, 99LaLaLa, QcLoLoLoLo: the opening of a ship
// report is distinctive enough to be taken without its BBXX line, and it
// tells a numbered ship from a land report.
bool looksLikeShipOpening(const Tokens& t, size_t at);

// Group indicators rise through sections 1 and 3; after 55SSS or 553SS the
// radiation groups 0 to 6 start again from 0.
struct IndicatorOrder {
    bool sectionThree = false;
    int last = -1;
    int lastRadiation = 7;  // 7: not after a sunshine group

    bool isRadiation(int id) const { return lastRadiation < 7 && id <= 6 && id > lastRadiation; }
    static bool isRepeatableInSectionThree(int id) { return id == 5 || id == 8 || id == 9; }
    bool accepts(std::string_view g) const
    {
        const int id = digitsValue(g, 0, 1);
        if (!isCodedGroup(g, 5) || id < 0) return false;
        if (isRadiation(id)) return true;
        return id > last || (sectionThree && id == last && isRepeatableInSectionThree(id));
    }
    void take(std::string_view g)
    {
        const int id = digitsValue(g, 0, 1);
        if (isRadiation(id)) {
            lastRadiation = id;
            return;
        }
        lastRadiation = sectionThree && id == 5 && g[1] == '5' ? -1 : 7;
        last = id;
    }
};

}  // namespace synop::detail

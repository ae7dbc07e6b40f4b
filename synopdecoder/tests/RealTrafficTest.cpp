// Real traffic (tests/data/real, see its README): every report is found,
// none is invented or lost, a sound report gets no warning, and the counts
// of reports and of warnings by kind are pinned, so that a change that
// loses reports or starts to complain about sound ones fails here.
#include "TestSupport.h"
#include "synopdecoder/ReportFormat.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

using namespace synop;
using synop::testing::reportToJson;
using synop::testing::decodeText;

namespace {

const QString kRealDir = QStringLiteral(SYNOP_CORPUS_DIR "/real/");

std::string readReal(const QString& name)
{
    QFile file(kRealDir + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll().toStdString();
}

// A warning without the groups and figures it names: "group 60000 dropped:
// amount code 000 is not used" and the same for 60001 are one kind.
std::string warningKind(const std::string& warning)
{
    static const std::regex groups("[0-9A-Z/]{3,}");
    static const std::regex numbers("-?[0-9]+(\\.[0-9]+)?");
    return std::regex_replace(std::regex_replace(warning, groups, "G"), numbers, "N");
}

struct Tally {
    size_t reports = 0;
    size_t withWarnings = 0;
    std::map<std::string, size_t> kinds;

    void add(const DecodedReport& r)
    {
        ++reports;
        if (!r.warnings.empty()) ++withWarnings;
        for (const std::string& w : r.warnings) ++kinds[warningKind(w)];
    }
    std::string text() const
    {
        std::ostringstream out;
        out << reports << " reports, " << withWarnings << " with warnings\n";
        for (const auto& [kind, count] : kinds) out << "  {\"" << kind << "\", " << count << "},\n";
        return out.str();
    }
};

using Kinds = std::map<std::string, size_t>;

std::vector<std::string> stationsOf(const std::vector<DecodedReport>& reports)
{
    std::vector<std::string> out;
    for (const auto& r : reports) out.push_back(r.station);
    return out;
}

std::string joined(const std::vector<std::string>& words)
{
    std::string out;
    for (const auto& w : words) out += (out.empty() ? "" : " ") + w;
    return out;
}

}  // namespace

TEST(RealTraffic, OgimetLandReportsOneALineAllFound)
{
    const std::string text = readReal(QStringLiteral("ogimet-land-2026-03-01-15.txt"));
    const auto reports = decodeText(text);
    std::istringstream lines(text);
    Tally tally;
    size_t at = 0;
    for (std::string line; std::getline(lines, line); ++at) {
        ASSERT_LT(at, reports.size()) << "lost from line " << at + 1 << ": " << line;
        const DecodedReport& r = reports[at];
        // "AAXX YYGGi IIiii ... =": the station is the third word, the report the rest.
        std::string expectedRaw = line.substr(11);
        if (expectedRaw.size() > 2 && expectedRaw.compare(expectedRaw.size() - 2, 2, " =") == 0)
            expectedRaw.erase(expectedRaw.size() - 2, 1);
        ASSERT_EQ(r.raw, expectedRaw) << "line " << at + 1;
        EXPECT_EQ(r.station, line.substr(11, 5)) << "line " << at + 1;
        EXPECT_EQ(r.day, std::stoi(line.substr(5, 2))) << "line " << at + 1;
        tally.add(r);
    }
    EXPECT_EQ(reports.size(), at);
    EXPECT_EQ(tally.reports, 13638u);
    // Each of these reports is flawed as sent (a group lost, repeated or
    // garbled, indicators that contradict the groups); the other 13,543 get
    // no warning.
    const Kinds expected = {
        {"Nddff group missing before section N; cloud cover and wind unknown", 1},
        {"calm reported with a speed in G, wind dropped", 1},
        {"cloud amount N of G exceeds the total cover", 6},
        {"group G dropped: dew point above the air temperature", 2},
        {"group G dropped: not a valid time of observation", 1},
        {"group G dropped: one group too many before section N", 1},
        {"group G dropped: out of order or repeated", 29},
        {"group G dropped: precipitation group present although iR = N leaves it out of section N", 26},
        {"group G dropped: relative humidity above G %", 1},
        {"group G dropped: station index repeated", 2},
        {"group G dropped: weather group present although ix = N says it is left out", 11},
        {"iRixhVV group missing before section N; G read as the Nddff group", 5},
        {"section N marker G lost before G", 8},
        {"wind direction N invalid in G, wind dropped", 3},
        {"wind speed N given without a unit, dropped", 4},
        {"wind unit indicator missing or invalid in G", 4},
    };
    EXPECT_EQ(tally.kinds, expected) << tally.text();
    EXPECT_EQ(tally.withWarnings, 95u) << tally.text();
}

TEST(RealTraffic, AwipsBulletinsGiveTheirReportsAndNothingElse)
{
    const std::map<QString, std::string> expected = {
        {"awips_saus53_metar_not_synop.txt", ""},
        {"awips_sxus20_cman_not_synop.txt", ""},
        {"awips_smpr01_spim_a.txt", "84455 81209 84390"},
        {"awips_smpr01_spim_b.txt", "84455 81209 84390"},
        {"awips_smpr01_spim_two_sections0.txt", "84400 84410 84420 84430"},
        {"awips_smve01_nzkl_ships.txt", "ZMSOA ZMFR"},
        {"awips_smvx90_kwbc_ships.txt", "PHBT LAOO5 4XIS"},
        {"awips_ssvx13_lfvw_buoys.txt", "44723 44603 64620"},
    };
    Tally tally;
    for (const QString& name : QDir(kRealDir + "awips-bulletins").entryList({"*.txt"})) {
        ASSERT_TRUE(expected.count(name)) << name.toStdString();
        const auto reports = decodeText(readReal("awips-bulletins/" + name));
        EXPECT_EQ(joined(stationsOf(reports)), expected.at(name)) << name.toStdString();
        for (const auto& r : reports) tally.add(r);
    }
    EXPECT_EQ(tally.reports, 18u);
    const Kinds kinds = {
    };
    EXPECT_EQ(tally.kinds, kinds) << tally.text();
}

TEST(RealTraffic, FldigiFragmentsGiveTheReportsTheyHold)
{
    std::map<std::string, std::string> expected;
    {
        std::istringstream list(readReal(QStringLiteral("../real-fldigi-stations.txt")));
        for (std::string line; std::getline(list, line);) {
            if (line.empty() || line[0] == '#') continue;
            const size_t space = line.find(' ');
            expected[line.substr(0, space)] = line.substr(space + 1);
        }
    }
    Tally tally;
    const QStringList files = QDir(kRealDir + "fldigi-rtty-fragments").entryList({"fldigi_*.txt"});
    ASSERT_EQ(files.size(), 140);
    for (const QString& name : files) {
        const auto reports = decodeText(readReal("fldigi-rtty-fragments/" + name));
        const auto want = expected.find(name.toStdString());
        EXPECT_EQ(joined(stationsOf(reports)), want == expected.end() ? "" : want->second) << name.toStdString();
        for (const auto& r : reports) tally.add(r);
    }
    EXPECT_EQ(tally.reports, 162u);
    // Received by radio: reports without their AAXX line (so no wind unit),
    // cut short, garbled, printed in letters case.
    const Kinds kinds = {
        {"calm reported with a speed in G, wind dropped", 3},
        {"group G G-#G)N dropped: not a valid position", 1},
        {"group G dropped: air temperature N °C cannot be true", 1},
        {"group G dropped: garbled (not five figures)", 2},
        {"group G dropped: not an Nddff group", 1},
        {"group G dropped: precipitation group present although iR = N leaves it out of section N", 2},
        {"group G dropped: weather group present although ix = N says it is left out", 2},
        {"group G read as G (letters/figures shift)", 3},
        {"group G#G dropped: garbled (not five figures)", 1},
        {"group N dropped: garbled (not five figures)", 2},
        {"no G Giw line before the report: day, hour and wind unit unknown", 17},
        {"report not ended by '='", 7},
        {"weather indicator ix invalid in G", 1},
        {"wind speed N given without a unit, dropped", 16},
    };
    EXPECT_EQ(tally.kinds, kinds) << tally.text();
    EXPECT_EQ(tally.withWarnings, 29u) << tally.text();
}

TEST(RealTraffic, GroupViewChangesNoValue)
{
    // Callers without a group view skip its texts; the values must not depend on it.
    std::string text = readReal(QStringLiteral("ogimet-land-2026-03-01-15.txt"));
    for (const QString& dir : {QStringLiteral("fldigi-rtty-fragments"), QStringLiteral("awips-bulletins")})
        for (const QString& name : QDir(kRealDir + dir).entryList({"*.txt"})) text += readReal(dir + "/" + name) + "\nNNNN\n";
    std::vector<QJsonObject> described, bare;
    DecoderOptions noGroupView;
    noGroupView.describeGroups = false;
    StreamAssembler assembler([&](AssembledReport&& r) {
        const DecodedReport full = decodeReport(r);
        EXPECT_FALSE(full.groups.empty());
        described.push_back(reportToJson(full));
        const DecodedReport quick = decodeReport(std::move(r), noGroupView);
        EXPECT_TRUE(quick.groups.empty());
        bare.push_back(reportToJson(quick));
    });
    assembler.feed(text);
    assembler.finish();
    ASSERT_GT(described.size(), 13800u);
    for (size_t i = 0; i < described.size(); ++i) ASSERT_EQ(described[i], bare[i]) << i;
}

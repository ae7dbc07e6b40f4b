// Finding reports in teletype text: framing, line ends, lost terminators,
// chunking, repeated bulletins and hostile input.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace synop;
using synop::testing::decodeText;
using synop::testing::hasWarning;

namespace {

const std::string kBulletin =
    "\x01\r\r\n123\r\r\nSMDL01 EDZW 080600 RRA\r\r\nAAXX 08061\r\r\n"
    "10015 41460 72315 10056 20039 39963 40012 57008 78582\r\r\n"
    "      81541 333 20038=\r\r\n"
    "10020 41/60 80916 10072 20045 30012 40026 58011=\r\r\n"
    "10035 NIL=\r\r\n\r\r\nNNNN\r\r\n\x03";

std::vector<std::string> stations(const std::vector<DecodedReport>& reports)
{
    std::vector<std::string> out;
    for (const auto& r : reports) out.push_back(r.station);
    return out;
}

}  // namespace

TEST(Assembler, FindsHeadingSectionZeroAndReports)
{
    const auto reports = decodeText(kBulletin);
    ASSERT_EQ(stations(reports), (std::vector<std::string>{"10015", "10020", "10035"}));
    ASSERT_TRUE(reports[0].heading);
    EXPECT_EQ(reports[0].heading->ttaaii, "SMDL01");
    EXPECT_EQ(reports[0].heading->cccc, "EDZW");
    EXPECT_EQ(reports[0].heading->yygggg, "080600");
    EXPECT_EQ(reports[0].heading->bbb, "RRA");
    EXPECT_EQ(reports[0].raw, "10015 41460 72315 10056 20039 39963 40012 57008 78582\n81541 333 20038=");
    EXPECT_DOUBLE_EQ(*reports[0].minTempC, 3.8);  // the continuation line belongs to the report
    EXPECT_TRUE(reports[2].nil);
    for (const auto& r : reports) EXPECT_EQ(r.hour, 6);
}

TEST(Assembler, ChunksSplitAnywhereGiveTheSameReports)
{
    const auto whole = decodeText(kBulletin);
    for (size_t chunk : {1u, 2u, 3u, 7u, 13u}) {
        const auto split = decodeText(kBulletin, chunk);
        ASSERT_EQ(stations(split), stations(whole)) << chunk;
        for (size_t i = 0; i < whole.size(); ++i) EXPECT_EQ(split[i].raw, whole[i].raw) << chunk;
    }
}

TEST(Assembler, AnyLineEndWorks)
{
    for (const char* end : {"\r\n", "\n", "\r", "\r\r\n", "\n\r"}) {
        const std::string text = std::string("AAXX 08061") + end + "10015 41460 72315" + end + " 10056=" + end
                               + "10020 41/60 80916=" + end;
        const auto reports = decodeText(text);
        ASSERT_EQ(reports.size(), 2u) << end;
        EXPECT_DOUBLE_EQ(*reports[0].airTempC, 5.6);
    }
}

TEST(Assembler, LostTerminatorsAreRecovered)
{
    // No '=' before the next report, ';' as terminator, '=' lost before plain text.
    const auto reports = decodeText("AAXX 08061\r\n10015 41460 72315 10056\r\n10020 41/60 80916 10072;\r\n"
                                    "10035 41/60 80916 10072\r\nFORECAST FOR THE NORTH SEA FOLLOWS\r\n"
                                    "10147 12970 61512 10062\r\n");
    ASSERT_EQ(stations(reports), (std::vector<std::string>{"10015", "10020", "10035", "10147"}));
    EXPECT_TRUE(hasWarning(reports[0], "not ended"));
    EXPECT_FALSE(hasWarning(reports[1], "not ended"));
    EXPECT_TRUE(hasWarning(reports[2], "not ended"));
    EXPECT_EQ(reports[2].raw, "10035 41/60 80916 10072");
    EXPECT_TRUE(hasWarning(reports[3], "not ended"));  // closed by the end of the stream
}

TEST(Assembler, ContinuationLinesAreNotNewReports)
{
    // A continuation starting with five figures that could pass for a station index.
    const auto reports = decodeText("AAXX 08061\r\n10015 41460 72315 10056 20039\r\n39963 40012 57008 60001 78582=\r\n");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_DOUBLE_EQ(*reports[0].seaLevelPressureHpa, 1001.2);
}

TEST(Assembler, ShiftErrorsAreReadBackAsFigures)
{
    const auto reports = decodeText("--// 08061\r\nQPPQT RQRTP UWEQT QPPTY=\r\n10035 ,8)=\r\n,,,,\r\n10020 41/60 80916=\r\n");
    ASSERT_EQ(reports.size(), 2u);  // the report after NNNN printed in figures has no bulletin
    EXPECT_TRUE(reports[1].nil);
    EXPECT_EQ(reports[0].station, "10015");
    EXPECT_DOUBLE_EQ(*reports[0].airTempC, 5.6);
    EXPECT_EQ(reports[0].windDirDeg, 230);
    EXPECT_TRUE(hasWarning(reports[0], "letters/figures shift"));

    AssemblerOptions off;
    off.correctShiftErrors = false;
    const auto raw = decodeText("AAXX 08061\r\n10015 41460 72315 QPPTY=\r\n", 0, off);
    EXPECT_FALSE(raw.at(0).airTempC);
}

TEST(Assembler, RepeatedBulletinsArePassedOnOnce)
{
    EXPECT_EQ(decodeText(kBulletin + kBulletin).size(), 3u);
    AssemblerOptions keep;
    keep.dropDuplicates = false;
    EXPECT_EQ(decodeText(kBulletin + kBulletin, 0, keep).size(), 6u);
    // A correction with other content is not a repeat.
    std::string corrected = kBulletin;
    corrected.replace(corrected.find("10056"), 5, "10058");
    EXPECT_EQ(decodeText(kBulletin + corrected).size(), 4u);
}

TEST(Assembler, TextOutsideBulletinsIsIgnored)
{
    // Plain language inside a bulletin starts no report, even with numbers in it;
    // NNNN alone on a line inside an open report still ends the bulletin.
    auto inside = decodeText("AAXX 08061\r\nREPORTS VALID 08061 TO 09060\r\n10015 41460 72315\r\nNNNN\r\n"
                             "10020 41/60 80916 10072 20045=\r\n");
    ASSERT_EQ(stations(inside), (std::vector<std::string>{"10015", "10020"}));
    EXPECT_FALSE(inside[1].hour);  // the old bulletin's AAXX line does not carry over
    EXPECT_TRUE(decodeText("RYRYRYRYRY THE QUICK BROWN FOX 1234567890\r\n12345 67890 12345=\r\n").empty());
    // A new heading ends the bulletin: its section 0 does not carry over.
    const auto reports = decodeText("AAXX 08061\r\n10015 41460 72315\r\nSMDL02 EDZW 081200\r\n10020 41/60 80916=\r\n");
    EXPECT_EQ(stations(reports), (std::vector<std::string>{"10015"}));
}

TEST(Assembler, HostileInputStaysBounded)
{
    std::mt19937 random(7);
    std::string noise(200000, ' ');
    for (char& c : noise) c = static_cast<char>(random() % 256);
    decodeText(noise, 997);  // must not crash or hang

    // Groups without end: reports are cut, lines are cut, memory stays bounded.
    std::string endless = "AAXX 08061\r\n";
    for (int i = 0; i < 20000; ++i) endless += "10015 ";
    const auto reports = decodeText(endless, 4096);
    ASSERT_FALSE(reports.empty());
    for (const auto& r : reports) EXPECT_LE(r.groups.size(), StreamAssembler::kMaxReportGroups + 4);
    EXPECT_TRUE(hasWarning(reports.front(), "cut after"));
}

TEST(Assembler, NoiseOnSectionZeroAndOnSpaces)
{
    auto reports = decodeText("AAMX 08061\r\n10015 41460 72315 10056=\r\n");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].hour, 6);
    EXPECT_EQ(reports[0].windSpeed, 15);
    // A look-alike word before something that is no date group opens nothing.
    EXPECT_TRUE(decodeText("AAMX 08991\r\n10015 41460 72315=\r\n").empty());

    // The AAXX line lost entirely: a line that can only be a land report is taken.
    reports = decodeText("10015 41460 72315 10056 20039=\r\n10020 41/60 80916 10072 20045=\r\n");
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_DOUBLE_EQ(*reports[1].airTempC, 7.2);
    EXPECT_FALSE(reports[0].hour);
    EXPECT_TRUE(hasWarning(reports[0], "no AAXX"));
    EXPECT_TRUE(decodeText("12345 67890 12345 67890 12345=\r\n").empty());

    reports = decodeText("AAXX 08061\r\n10015 41460 7231510056 20039=\r\n");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].windDirDeg, 230);
    EXPECT_DOUBLE_EQ(*reports[0].airTempC, 5.6);
    EXPECT_TRUE(hasWarning(reports[0], "ran together"));
}

TEST(Assembler, ShuffledReportVocabularyNeitherCrashesNorHangs)
{
    // Pieces of real reports in random order: every branch of the assembler
    // and the decoders sees groups where it does not expect them.
    const char* pieces[] = {"AAXX", "BBXX", "ZZYY", "NNNN", "ZCZC", "333", "555", "444", "222//", "111//", "=", ";",
                            "NIL", "ICE", "08061", "0806/", "99512", "70123", "41/98", "12970", "82799", "00105",
                            "55300", "20512", "/////", "10015", "29105", "48456", "69901", "78582", "86363", "91108",
                            "\r\n", "SMDL01 EDZW 080600", "QWERT", "7231510056", "AAMX", "0600/", "145123", "004567",
                            "--//", "\x01", "\x03", "62001", "08126", "33", "DBBI"};
    std::mt19937 random(11);
    for (int round = 0; round < 6; ++round) {
        std::string text;
        for (int i = 0; i < 5000; ++i) {
            text += pieces[random() % std::size(pieces)];
            text += random() % 5 ? " " : "\r\n";
        }
        AssemblerOptions options;
        options.dropDuplicates = round % 2;
        size_t groups = 0;
        for (const auto& r : decodeText(text, 1 + random() % 300, options)) groups += r.groups.size();
        EXPECT_GT(groups, 0u);
    }
}

TEST(Assembler, RepeatedBulletinThatLostGroupsToAFadeIsARepeat)
{
    // awips SMPR01 SPIM twice, the second copy hit by fades: 84455 lost its
    // 40189 and got a garbled 2021, 84390 was cut after its wind group.
    const std::string first = "SMPR01 SPIM 281800\r\r\nAAXX 28184\r\r\n"
                              "84455 31560 60902 10300 20216 39835 40189 70122 8323/\r\r\n333   5600/ 58004 83825 83362=\r\r\n"
                              "81209 NIL=\r\r\n"
                              "84390 31965 41611 10237 20153 30038 40137 70222 84030\r\r\n333   56000 59009 84360=\r\r\n";
    const std::string faded = "SMPR01 SPIM 281800\r\r\nAAXX 28184\r\r\n"
                              "84455 31560 60902 10300 2021 39835 70122 8323/\r\r\n333   5600/ 58004 83825 83362=\r\r\n"
                              "81209 NIL=\r\r\n"
                              "84390 31965 41611=\r\r\n";
    std::vector<DecodedReport> reports;
    StreamAssembler assembler([&](AssembledReport&& r) { reports.push_back(decodeReport(r)); });
    assembler.feed(first + faded);
    assembler.finish();
    EXPECT_EQ(stations(reports), (std::vector<std::string>{"84455", "81209", "84390"}));
    EXPECT_EQ(assembler.duplicatesDropped(), 3u);

    // The clean copy after a faded one adds what the fade took: passed on.
    EXPECT_EQ(decodeText(faded + first).size(), 5u);
    // So is a correction, though it has fewer groups.
    std::string correction = faded;
    correction.replace(correction.find("281800"), 6, "281800 CCA");
    EXPECT_EQ(decodeText(first + correction).size(), 5u);
    // Without a heading two reports of one station may be two observations.
    EXPECT_EQ(decodeText("AAXX 28184\n84390 31965 41611 10237 20153=\nAAXX 28184\n84390 31965 41611=\n").size(), 2u);
}

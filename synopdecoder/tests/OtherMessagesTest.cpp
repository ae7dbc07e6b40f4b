// Other message types share the teletype stream with SYNOP, SHIP and BUOY
// bulletins: upper-air parts, CLIMAT, METAR/SPECI/TAF, plain-language
// forecasts and bulletins of other data. Their figures must never become
// land or ship reports, and the surface bulletins around them must come
// through whole.
//
// The bulletins below were written for these tests in the layout of real
// Indian and Romanian traffic (wrapped at 11 groups as the broadcasts print
// them); their figures are made up, so no value here is an observation.
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace synop;
using synop::testing::decodeText;

namespace {

const std::string kSurfaceBefore =
    "ZCZC 101\r\nSMIN01 DEMS 090000\r\nAAXX 09001\r\n"
    "42182 41960 70604 10162 20121 30010 40176 52006 70500 8250/=\r\n"
    "42339 32970 00000 10145 20062 39852 40093 52010=\r\nNNNN\r\n";
const std::string kSurfaceAfter =
    "SMRO01 LRBS 090600\r\nAAXX 09061\r\n"
    "15420 11997 20203 11012 21034 30054 40221 57008 60001 333 21044=\r\n";

std::vector<std::string> stations(const std::vector<DecodedReport>& reports)
{
    std::vector<std::string> out;
    for (const auto& r : reports) out.push_back(r.station);
    return out;
}

// The surface reports before and after, and nothing from the text between.
void expectOnlySurfaceReports(const std::string& between, const char* what)
{
    for (size_t chunk : {0u, 7u}) {
        const auto reports = decodeText(kSurfaceBefore + between + kSurfaceAfter, chunk);
        EXPECT_EQ(stations(reports), (std::vector<std::string>{"42182", "42339", "15420"})) << what;
        for (const auto& r : reports) EXPECT_TRUE(r.warnings.empty()) << what << ": " << r.station << " " << r.warnings.front();
    }
}

}  // namespace

TEST(OtherMessages, UpperAirPartsUnderTheirHeadingOrAlone)
{
    const std::string partA =
        "TTAA 59001 42182 99988 15656 29502 00122 ///// ///// 92815 18656\r\n"
        "29505 85519 20856 30008 70139 07856 27018 50587 08563 26541 40759\r\n"
        "20962 26553 30962 35158 26573 25084 44561 26582 20226 54758 26587\r\n"
        "15398 62163 26082 10653 76161 25061 88193 68559 26087 77213 26596\r\n"
        "41518=\r\n";
    const std::string partB =
        "TTBB 5900/ 42182 00988 15656 11925 18456 22850 20856 33700 07856\r\n"
        "44500 08563 55400 20962 66300 35158 77193 68559 21212 00988 29502\r\n"
        "11850 30008 22700 27018 33500 26541 44400 26553 55300 26573 31313\r\n"
        "58708 82330 41414 32500=\r\n";
    const std::string partC =
        "TTCC 59001 42182 70879 57569 25541 50076 55569 26048 30417 51769\r\n"
        "25527 20638 51369 27513 10865 48569 09012 88999 77999=\r\n";
    const std::string partD =
        "TTDD 5900/ 42182 11975 55769 22850 54369 33810 56769 21212 11975\r\n"
        "25536 22850 26043 33810 25528=\r\n";
    const std::string pilots =
        "PPAA 59001 42182 55301 70015 26530 26541 55302 50029 26552 55303\r\n"
        "25045 26583 20060 26585=\r\n"
        "PPBB 59000 42182 90012 29503 29506 29509 90346 29011 28514 27518\r\n"
        "90789 27022 26527 26033 91246 26043 26548 25553=\r\n"
        "PPCC 59001 42182 55301 70025 25528 50017 26012 30009 25011=\r\n"
        "PPDD 59000 42182 95012 26518 27020 26512 96568 25008 24510 25006=\r\n";
    // Under the headings that say they are upper-air data.
    expectOnlySurfaceReports("USIN01 DEMS 090000\r\n" + partA + partB + "UKIN01 DEMS 090000\r\n" + partC + partD
                                 + "UPIN01 DEMS 090000\r\n" + pilots + "NNNN\r\n",
                             "under U headings");
    // Without headings, straight after the surface bulletin, and with the
    // TTAA of part A lost to a fade: its lines then start with figures.
    const std::string fadedA = partA.substr(5);
    expectOnlySurfaceReports(partA + partB + partC + partD + pilots, "without headings");
    expectOnlySurfaceReports("USIN01 DEMS 090000\r\n" + fadedA, "part A without its TTAA");
}

TEST(OtherMessages, ClimatBulletins)
{
    expectOnlySurfaceReports("CSIN01 DEMS 021200\r\nCLIMAT 02026 111\r\n"
                             "42182 111 10106 20127 3125/ 4234 04091 52008 61203 70230 8/// 9////\r\n"
                             "333 03000 10000 20000 30000 40000 50000=\r\n"
                             "42339 111 10104 20041 3165/ 4245 04111 52005 60000 70230 8/// 9////=\r\n",
                             "CLIMAT");
    // A CLIMAT part inside a surface stream, with no heading before it.
    expectOnlySurfaceReports("CLIMAT 02026 111\r\n42182 111 10106 20127 30125 42340 04091 52008 61203 70230=\r\n",
                             "CLIMAT without heading");
}

TEST(OtherMessages, AerodromeReportsAndForecasts)
{
    expectOnlySurfaceReports("SAIN31 VIDP 090030\r\nMETAR\r\n"
                             "VIDP 090030Z 27004KT 2000 BR NSC 12/10 Q1017 NOSIG=\r\n"
                             "VABB 090030Z 33005KT 3000 HZ NSC 23/17 Q1012 NOSIG=\r\n"
                             "SPIN31 VIDP 090045\r\nSPECI VIDP 090045Z 00000KT 0800 FG NSC 11/11 Q1017=\r\n"
                             "FTIN31 VIDP 082300\r\nTAF VIDP 082300Z 0900/1006 27005KT 1500 BR NSC\r\n"
                             "BECMG 0903/0905 3000 HZ\r\nTEMPO 0900/0903 0800 FG=\r\n",
                             "METAR, SPECI and TAF under their headings");
    // Without headings, as some broadcasts print them between SYNOP bulletins.
    expectOnlySurfaceReports("METAR VIDP 090030Z 27004KT 2000 BR NSC 12/10 Q1017 NOSIG=\r\n"
                             "TAF VABB 082300Z 0900/1006 33005KT 3000 HZ NSC\r\n"
                             "12345 67890 11111 22222 33333=\r\n",
                             "METAR and TAF without headings");
}

TEST(OtherMessages, PlainLanguageAndOtherDataBulletins)
{
    // A forecast that quotes figures in groups, and a warning with a table.
    expectOnlySurfaceReports("FPIN40 DEMS 090000\r\nFORECAST VALID FROM 090000 UTC\r\n"
                             "42182 41960 70604 10162 20121\r\n"
                             "WIND 27010 KT VIS 2000 M IN MIST=\r\n"
                             "WWIN40 DEMS 090100\r\nCOLD WAVE WARNING\r\n"
                             "42339 32970 00000 10145 20062 39852 40093\r\n",
                             "forecast and warning");
    // A bulletin of other surface data (radar, METAR) and a BUFR heading
    // followed by what a teletype prints of binary data.
    expectOnlySurfaceReports("SBIN10 DEMS 090000\r\n42182 11960 20604 10162 20121 30010=\r\n"
                             "ISMD01 DEMS 090000\r\nBUFR\x0e\x07 42182 41960 70604 10162 20121 30010 40176\r\n7777\r\n",
                             "radar and BUFR");
}

TEST(OtherMessages, SurfaceMarkerReopensABulletinAfterOtherText)
{
    // An AAXX line straight after an upper-air part opens a surface bulletin
    // again, though no heading or NNNN came between.
    const auto reports = decodeText("TTAA 59001 42182 99988 15656 29502=\r\nAAXX 09001\r\n"
                                    "42182 41960 70604 10162 20121 30010 40176 52006=\r\n");
    EXPECT_EQ(stations(reports), (std::vector<std::string>{"42182"}));
}

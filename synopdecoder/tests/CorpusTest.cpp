// Whole bulletins: every report of the corpus decodes to the values it was
// encoded from, and the same bulletins printed by a noisy teletype lose
// only the groups that the noise hit.
#include "TestSupport.h"
#include "synopdecoder/ReportFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <map>

using namespace synop;
using synop::testing::reportToJson;
using synop::testing::decodeText;
using synop::testing::readCorpus;

namespace {

std::map<std::string, QJsonObject> byStation(const std::vector<DecodedReport>& reports)
{
    std::map<std::string, QJsonObject> out;
    for (const auto& r : reports) {
        QJsonObject o = reportToJson(r);
        o.remove(QStringLiteral("raw"));
        out[r.station] = o;
    }
    return out;
}

}  // namespace

TEST(Corpus, CleanBulletinsDecodeToTheirEncodedValues)
{
    const auto reports = decodeText(readCorpus("clean.txt").toStdString());
    const QJsonObject expected = QJsonDocument::fromJson(readCorpus("expected.json")).object();
    const QJsonArray wanted = expected.value("reports").toArray();
    ASSERT_GE(wanted.size(), 100);
    ASSERT_EQ(reports.size(), static_cast<size_t>(wanted.size()));
    const auto decoded = byStation(reports);
    for (const QJsonValue& value : wanted) {
        const QJsonObject want = value.toObject();
        const std::string station = want.value("station").toString().toStdString();
        ASSERT_TRUE(decoded.count(station)) << station;
        const QJsonObject& got = decoded.at(station);
        EXPECT_TRUE(got.value("warnings").toArray().isEmpty()) << station;
        ASSERT_TRUE(got.contains("header")) << station;
        for (auto it = want.begin(); it != want.end(); ++it) {
            if (it.value().isDouble())
                EXPECT_NEAR(got.value(it.key()).toDouble(-9999), it.value().toDouble(), 1e-9)
                    << station << " " << it.key().toStdString();
            else
                EXPECT_EQ(got.value(it.key()), it.value()) << station << " " << it.key().toStdString();
        }
    }
}

TEST(Corpus, TeletypeNoiseCostsOnlyTheGroupsItHits)
{
    const auto clean = byStation(decodeText(readCorpus("clean.txt").toStdString()));
    StreamAssembler* assemblerSeen = nullptr;
    std::vector<DecodedReport> noisyReports;
    StreamAssembler assembler([&](AssembledReport&& r) { noisyReports.push_back(decodeReport(r)); });
    assemblerSeen = &assembler;
    const std::string garbled = readCorpus("garbled.txt").toStdString();
    for (size_t at = 0; at < garbled.size(); at += 61) assembler.feed(std::string_view(garbled).substr(at, 61));
    assembler.finish();
    EXPECT_EQ(assemblerSeen->duplicatesDropped(), 12u);  // the repeated bulletin

    const auto noisy = byStation(noisyReports);
    ASSERT_EQ(noisyReports.size(), clean.size());
    const QJsonObject damaged = QJsonDocument::fromJson(readCorpus("expected.json")).object().value("damaged").toObject();
    for (const auto& [station, want] : clean) {
        ASSERT_TRUE(noisy.count(station)) << station;
        QJsonObject got = noisy.at(station);
        const QString hit = damaged.value(QString::fromStdString(station)).toString();
        if (hit.isEmpty()) {
            EXPECT_EQ(got, want) << station;
            continue;
        }
        const QJsonArray warnings = got.value("warnings").toArray();
        ASSERT_EQ(warnings.size(), 1) << station;
        EXPECT_TRUE(warnings.at(0).toString().contains(hit)) << station << " " << warnings.at(0).toString().toStdString();
        // Apart from the garbled pressure group, everything survives.
        got.remove("warnings");
        got.remove("station_pressure_hpa");
        QJsonObject rest = want;
        rest.remove("warnings");
        rest.remove("station_pressure_hpa");
        EXPECT_EQ(got, rest) << station;
    }
}

TEST(Corpus, ReusedReportsCarryNothingOverFromTheLastOne)
{
    // The command line's path: the assembler's report left where it is (the
    // sink copies nothing out), every report decoded into one DecodedReport.
    // Each must come out as a fresh decoding of a fresh copy does, also where
    // a report without warnings, heading or weather follows one with them.
    const std::string text = readCorpus("garbled.txt").toStdString() + readCorpus("clean.txt").toStdString()
        + "BBXX\nSHIP1 05184 99512 70041 41/// /1812=\nAAXX 08061\n10015 NIL=\n";
    std::vector<AssembledReport> seen;
    DecodedReport reused;
    std::vector<std::string> reusedJson, reusedMeanings;
    int round = 0;
    StreamAssembler assembler([&](AssembledReport&& report) {
        const AssembledReport& left = report;  // not taken over
        seen.push_back(left);
        // The group view on some reports and not others, as the window asks.
        const DecoderOptions options{.plausibilityChecks = true, .describeGroups = ++round % 3 == 0};
        decodeReport(left, reused, options);
        std::string json;
        appendJson(json, reused);
        reusedJson.push_back(json);
        std::string meanings;
        for (const GroupMeaning& g : reused.groups) meanings += g.group + "=" + g.meaning + ";";
        reusedMeanings.push_back(meanings + reused.presentWeatherText);
    });
    assembler.feed(text);
    assembler.finish();
    ASSERT_GT(seen.size(), 100u);
    for (size_t i = 0; i < seen.size(); ++i) {
        const DecoderOptions options{.plausibilityChecks = true, .describeGroups = (i + 1) % 3 == 0};
        const DecodedReport fresh = decodeReport(AssembledReport(seen[i]), options);
        std::string json;
        appendJson(json, fresh);
        EXPECT_EQ(reusedJson[i], json) << "report " << i;
        std::string meanings;
        for (const GroupMeaning& g : fresh.groups) meanings += g.group + "=" + g.meaning + ";";
        EXPECT_EQ(reusedMeanings[i], meanings + fresh.presentWeatherText) << "report " << i;
    }
    // The assembler's copies against those of a sink that takes each report over.
    std::vector<AssembledReport> taken;
    StreamAssembler taking([&](AssembledReport&& report) { taken.push_back(std::move(report)); });
    taking.feed(text);
    taking.finish();
    ASSERT_EQ(taken.size(), seen.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].form, taken[i].form) << i;
        EXPECT_EQ(seen[i].heading, taken[i].heading) << i;
        EXPECT_EQ(seen[i].landDateGroup, taken[i].landDateGroup) << i;
        EXPECT_EQ(seen[i].groups, taken[i].groups) << i;
        EXPECT_EQ(seen[i].raw, taken[i].raw) << i;
        EXPECT_EQ(seen[i].warnings, taken[i].warnings) << i;
    }
}

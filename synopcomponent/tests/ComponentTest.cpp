// The component as its host drives it: opening, feeding, window placement
// in twips, the five options, and saving the report list.
#include "SynopComponent.h"
#include "platform/MessageBox.h"
#include "platform/Twips.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace synop;

namespace {

const char kBulletin[] = "SMDL01 EDZW 080600\r\nAAXX 08061\r\n10147 12970 61512 10062 21011 30110 40136 52004=\r\n"
                         "10015 41460 72315 10056 20039 39963 40012 57008 78582=\r\n10035 NIL=\r\nNNNN\r\n";

// A station log of its own for each test, set before the component opens it.
struct PrivateLog {
    QTemporaryDir logDir;
    PrivateLog() { qputenv("PLUVANE_SYNOP_LOG", logDir.filePath("reports.sqlite").toLocal8Bit()); }
    QString logPath() const { return logDir.filePath("reports.sqlite"); }
};

struct OpenComponent : ::testing::Test, PrivateLog {
    SynopComponent component;
    void SetUp() override
    {
        int32_t available = 0;
        ASSERT_EQ(component.OpenDecoder(0, &available), kStatusOk);
        ASSERT_EQ(available, 1);
    }
    int rows() { return component.window()->model().rowCount(); }
    // QTRY_COMPARE cannot fail a GoogleTest test (it only returns): wait, then check.
    bool waitForRows(int expected)
    {
        return QTest::qWaitFor([&] { return rows() == expected; }, 30000);
    }
};

}  // namespace

TEST_F(OpenComponent, ReportsArriveWithoutBlockingTheCaller)
{
    ASSERT_EQ(component.FeedText(kBulletin), kStatusOk);
    EXPECT_EQ(rows(), 0);  // decoded from the event loop, not inside FeedText
    ASSERT_TRUE(waitForRows(3)) << rows();
    EXPECT_TRUE(component.window()->isVisible());
    component.window()->selectRow(0);
    EXPECT_GT(component.window()->detailRows(), 8);  // station, heading and every group

    // The filter finds a station by its name from the station list.
    component.window()->setFilterText("helgo");
    ASSERT_EQ(component.window()->visibleRows(), 1);
    component.window()->selectRow(0);
    EXPECT_EQ(component.window()->detailRows(), 3 + 10);  // station, heading, times, date group and nine groups
    component.window()->setFilterText("");
    EXPECT_EQ(component.window()->visibleRows(), 3);
}

TEST_F(OpenComponent, WindowPositionInTwips)
{
    component.putApplicationName("Pluvane");
    component.putWindowTop(1507);  // between two pixels
    component.putWindowLeft(1500);
    int32_t left = 0, top = 0;
    component.getWindowLeft(&left);
    component.getWindowTop(&top);
    EXPECT_EQ(left, 1500);
    EXPECT_EQ(top, 1507);
    component.putOption1(true);
    ASSERT_TRUE(component.window()->isVisible());
    EXPECT_EQ(component.window()->windowTitle(), "Pluvane - SYNOP reports");
    EXPECT_EQ(component.window()->pos(), QPoint(100, 100));
    component.window()->move(40, 60);  // the user moves it
    component.getWindowLeft(&left);
    component.getWindowTop(&top);
    EXPECT_EQ(left, 600);
    EXPECT_EQ(top, 900);
    component.window()->close();  // and closes it
    component.getWindowLeft(&left);
    EXPECT_EQ(left, 600);
}

TEST_F(OpenComponent, OptionsChangeWhatIsListed)
{
    component.putOption5(false);  // no NIL reports
    component.putOption2(false);  // repeats passed on again: the log counts them
    component.putOption3(false);  // implausible values kept
    component.FeedText(kBulletin);
    component.FeedText(kBulletin);
    component.FeedText("AAXX 08061\r\n10020 41/60 80916 10072 20095=\r\n");
    ASSERT_TRUE(waitForRows(3)) << rows();
    EXPECT_EQ(component.window()->model().report(0)->timesHeard, 2);
    EXPECT_DOUBLE_EQ(*component.window()->model().report(2)->report.dewPointC, 9.5);
    component.putOption1(false);
    EXPECT_FALSE(component.window()->isVisible());
}

TEST_F(OpenComponent, BadCallsFailWithoutHarm)
{
    EXPECT_EQ(component.FeedText(nullptr), kStatusInvalidArgument);
    EXPECT_EQ(component.getWindowLeft(nullptr), kStatusInvalidArgument);
    EXPECT_EQ(component.OpenDecoder(0, nullptr), kStatusInvalidArgument);
    EXPECT_EQ(component.CloseDecoder(0), kStatusOk);
    EXPECT_EQ(component.FeedText(kBulletin), kStatusFail);  // closed
    QTest::qWait(10);
    EXPECT_EQ(rows(), 0);
    EXPECT_FALSE(component.window()->isVisible());
}

TEST_F(OpenComponent, CloseDecodesWhatIsStillQueued)
{
    component.FeedText(kBulletin);
    component.FeedText("AAXX 08061\r\n10020 41/60 80916 10072");  // no '=' yet
    component.CloseDecoder(0);
    EXPECT_EQ(rows(), 4);
}

TEST_F(OpenComponent, SavesTheListAndSaysWhyASaveFailed)
{
    component.FeedText(kBulletin);
    ASSERT_TRUE(waitForRows(3)) << rows();
    QTemporaryDir dir;
    SynopWindow& window = *component.window();

    const QString csvPath = dir.filePath("reports.csv");
    EXPECT_TRUE(window.save(csvPath, ExportFormat::Csv).isEmpty());
    QFile csv(csvPath);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    EXPECT_EQ(lines.size(), 5);  // header, three reports, nothing after the last line end
    EXPECT_TRUE(lines[1].startsWith("AAXX,10147,8,6,"));

    const QString jsonPath = dir.filePath("reports.json");
    EXPECT_TRUE(window.save(jsonPath, ExportFormat::JsonArray).isEmpty());
    QFile json(jsonPath);
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(json.readAll()).array().size(), 3);

    QString shown;
    platform::setMessageBoxFunction([&](const QString& text, const QString&) { shown = text; });
    const QString why = window.save(dir.filePath("no/such/folder/reports.csv"), ExportFormat::Csv);
    platform::setMessageBoxFunction({});
    EXPECT_FALSE(why.isEmpty());
    EXPECT_TRUE(shown.contains(why));
    EXPECT_TRUE(window.statusText().startsWith("Could not save"));
}

TEST(Component, OpenWithANonZeroArgumentAnswersNotAvailable)
{
    SynopComponent component;
    int32_t available = 7;
    EXPECT_EQ(component.OpenDecoder(1, &available), kStatusInvalidArgument);
    EXPECT_EQ(available, 0);
}

// The window over the station log: what a new instance shows at once,
// corrections, a log that cannot be written, and how the window behaves
// on the screen (room for the list, never stealing the focus, staying
// closed once the user closed it).
#include "ReportRecorder.h"
#include "SynopComponent.h"
#include "platform/testing/WaitFor.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTableView>
#include <QTreeWidget>
#include <QHeaderView>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

using namespace synop;

namespace {

const char kBulletin[] = "SMDL01 EDZW 080600\r\nAAXX 08061\r\n10147 12970 61512 10062 21011 30110 40136 52004=\r\n"
                         "10015 41460 72315 10056 20039 39963 40012 57008 78582=\r\nNNNN\r\n";

// A bulletin of the hour `at` falls in. Bulletins meant to be of different
// hours are fed an hour apart (600 s and 4200 s ago): 600 s and 4000 s ago
// fell in the same hour for ten minutes of every hour, and the second
// bulletin was then a repeat of the first.
std::string bulletinFor(const QDateTime& at, int stations, const char* bbb = "")
{
    const QString dayHour = at.toString("ddHH");
    std::string text = ("SMDL01 EDZW " + dayHour + "00" + bbb + "\r\nAAXX " + dayHour + "1\r\n").toStdString();
    for (int i = 0; i < stations; ++i)
        text += QString("%1 11458 41606 1%2 20004 30125 40110 52008=\r\n")
                    .arg(10100 + i)
                    .arg(100 + i % 200, 4, 10, QChar('0'))
                    .toStdString();
    return text + "NNNN\r\n";
}

struct LoggedWindow : ::testing::Test {
    QTemporaryDir dir;
    QString logPath() const { return dir.filePath("log/reports.sqlite"); }
    void SetUp() override { qputenv("PLUVANE_SYNOP_LOG", logPath().toLocal8Bit()); }

    static std::unique_ptr<SynopComponent> open()
    {
        auto component = std::make_unique<SynopComponent>();
        int32_t available = 0;
        component->OpenDecoder(0, &available);
        EXPECT_EQ(available, 1);
        return component;
    }
    static int rows(SynopComponent& c) { return c.window()->model().rowCount(); }
    static bool waitForRows(SynopComponent& c, int expected)
    {
        return QTest::qWaitFor([&] { return rows(c) == expected; }, 30000);
    }
};

}  // namespace

TEST_F(LoggedWindow, ANewInstanceShowsTheLastDayAtOnce)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    {
        auto first = open();
        first->FeedText(bulletinFor(now.addSecs(-3600), 30).c_str());
        ASSERT_TRUE(waitForRows(*first, 30));
        first->CloseDecoder(0);
    }
    {
        // A report stored by another program a week ago is outside the first day.
        ReportLog log(logPath());
        const QDateTime weekAgo = now.addDays(-7);
        StreamAssembler assembler([&](AssembledReport&& r) { log.store(r, decodeReport(r), weekAgo); });
        assembler.feed(bulletinFor(weekAgo, 1));
    }
    auto second = open();  // the next Connect
    EXPECT_EQ(rows(*second), 30);  // before any text arrives
    second->window()->setTimeRangeHours(0);
    EXPECT_EQ(rows(*second), 31);
    second->window()->setFilterText("10105");
    EXPECT_EQ(rows(*second), 1);
    second->window()->setFilterText("");
    second->window()->setTimeRangeHours(24);
    // Old traffic decoded now (day 8, whatever today is) is listed with today's.
    second->FeedText(kBulletin);
    ASSERT_TRUE(waitForRows(*second, 32));
}

TEST_F(LoggedWindow, ACorrectionTakesThePlaceOfWhatItCorrects)
{
    auto component = open();
    const QDateTime now = QDateTime::currentDateTimeUtc().addSecs(-1800);
    component->FeedText(bulletinFor(now, 3).c_str());
    ASSERT_TRUE(waitForRows(*component, 3));
    std::string corrected = bulletinFor(now, 1, " CCA");
    corrected.replace(corrected.find(" 10100"), 6, " 10200");  // a different temperature
    component->FeedText(corrected.c_str());
    ReportFilter withHistory;
    withHistory.withHistory = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return component->log()->count(withHistory) == 4; }, 30000));
    ASSERT_EQ(rows(*component), 3);
    const LoggedReport* last = component->window()->model().report(2);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->report.station, "10100");
    EXPECT_DOUBLE_EQ(*last->report.airTempC, 20.0);
    component->window()->selectRow(2);
    EXPECT_GT(component->window()->detailRows(), 3);  // among them the reading it replaces
}

TEST_F(LoggedWindow, AFolderThatCannotBeWrittenKeepsTheReportsInMemory)
{
    QDir().mkpath(QFileInfo(logPath()).absolutePath());
    const QByteArray folder = QFile::encodeName(QFileInfo(logPath()).absolutePath());
    ::chmod(folder.constData(), 0555);
    auto component = open();
    component->FeedText(kBulletin);
    ASSERT_TRUE(waitForRows(*component, 2));
    component->window()->setTimeRangeHours(0);
    EXPECT_EQ(rows(*component), 2);
    EXPECT_TRUE(component->window()->statusText().contains("kept in memory")) << component->window()->statusText().toStdString();
    EXPECT_EQ(component->window()->statusText().count("Station log"), 1);
    ::chmod(folder.constData(), 0755);
}

TEST_F(LoggedWindow, AFullDiskIsReportedOnceAndNothingIsLost)
{
    auto component = open();
    component->window()->setTimeRangeHours(0);
    const QDateTime now = QDateTime::currentDateTimeUtc().addSecs(-600);
    component->FeedText(bulletinFor(now, 2).c_str());
    ASSERT_TRUE(waitForRows(*component, 2));

    component->log()->setPageLimit(1);  // the disk fills up
    component->FeedText(bulletinFor(now.addSecs(-3600), 50).c_str());
    ASSERT_TRUE(waitForRows(*component, 52));
    const QString status = component->window()->statusText();
    EXPECT_TRUE(status.contains("kept in memory")) << status.toStdString();
    // The count the log holds is what was committed, the rest said to be in memory only.
    EXPECT_TRUE(status.contains("52 reports, 0 with warnings; 2 in the station log, 50 only in memory")) << status.toStdString();
    component->FeedText(bulletinFor(now.addSecs(-7200), 5).c_str());
    ASSERT_TRUE(waitForRows(*component, 57));
    EXPECT_EQ(component->window()->statusText().count("Station log"), 1);
    EXPECT_TRUE(component->window()->statusText().contains("2 in the station log, 55 only in memory"));
    EXPECT_EQ(component->log()->count({}), 2);

    component->log()->setPageLimit(1 << 30);  // room again
    component->FeedText(bulletinFor(now.addSecs(-10800), 1).c_str());
    ASSERT_TRUE(QTest::qWaitFor([&] { return component->log()->count({}) == 58; }, 30000));
    EXPECT_EQ(rows(*component), 58);
    EXPECT_EQ(component->window()->model().storedRows(), 58);
    EXPECT_TRUE(component->window()->statusText().contains("writable again"));
    EXPECT_FALSE(component->window()->statusText().contains("only in memory"));
}

TEST_F(LoggedWindow, ReportsMemoryCannotHoldWhileTheDiskIsFullAreCountedAsLost)
{
    auto component = open();
    component->window()->setTimeRangeHours(0);
    component->log()->setPageLimit(1);
    const int fed = int(ReportRecorder::kMaxKeptReports) + 3;
    component->FeedText(bulletinFor(QDateTime::currentDateTimeUtc().addSecs(-600), fed).c_str());
    ASSERT_TRUE(QTest::qWaitFor([&] { return component->window()->statusText().contains("more lost"); }, 60000))
        << component->window()->statusText().toStdString();
    const QString status = component->window()->statusText();
    EXPECT_TRUE(status.contains("0 in the station log, 5000 only in memory; 3 more lost")) << status.toStdString();

    // Room again: the next report joins the full memory (one more lost), then all of it is stored.
    component->log()->setPageLimit(1 << 30);
    component->FeedText(bulletinFor(QDateTime::currentDateTimeUtc().addSecs(-4200), 1).c_str());
    ASSERT_TRUE(QTest::qWaitFor([&] { return component->window()->statusText().contains("writable again"); }, 60000));
    EXPECT_TRUE(component->window()->statusText().contains("4 older ones were lost meanwhile"))
        << component->window()->statusText().toStdString();
    EXPECT_EQ(component->log()->count({}), int64_t(ReportRecorder::kMaxKeptReports));
    EXPECT_FALSE(component->window()->statusText().contains("more lost"));
}

// A page of the log zeroed while the window lists it: the read that meets
// it sets the file aside, the window says so once (and stderr), and the list
// shows what the new log holds.
TEST_F(LoggedWindow, ADamagedPageMetWhileListingIsSetAsideAndSaidOnce)
{
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtWarningMsg) warnings << text;
    });
    auto component = open();
    component->window()->setTimeRangeHours(0);
    component->FeedText(bulletinFor(QDateTime::currentDateTimeUtc().addSecs(-600), 300).c_str());
    ASSERT_TRUE(waitForRows(*component, 300));

    // Everything into the file itself, then one leaf of the reports zeroed
    // there, and a write by another program so that the window's connection
    // reads the file again.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(logPath()).constData(), &other), SQLITE_OK);
    sqlite3_db_config(other, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    ASSERT_EQ(sqlite3_exec(other, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr), SQLITE_OK);
    std::vector<std::pair<int, int>> leaves;  // page, rows
    int pageSize = 0;
    {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(other, "SELECT pageno, ncell FROM dbstat WHERE name = 'reports' AND pagetype = 'leaf' ORDER BY path",
                           -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) leaves.emplace_back(sqlite3_column_int(stmt, 0), sqlite3_column_int(stmt, 1));
        sqlite3_finalize(stmt);
        sqlite3_prepare_v2(other, "PRAGMA page_size", -1, &stmt, nullptr);
        if (sqlite3_step(stmt) == SQLITE_ROW) pageSize = sqlite3_column_int(stmt, 0);
        sqlite3_finalize(stmt);
    }
    ASSERT_GE(leaves.size(), 3u);
    const auto [lostPage, lostRows] = leaves[leaves.size() / 2];
    {
        QFile file(logPath());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.seek(qint64(lostPage - 1) * pageSize));
        ASSERT_EQ(file.write(QByteArray(pageSize, '\0')), pageSize);
    }
    ASSERT_EQ(sqlite3_exec(other, "INSERT INTO text_chunks(received_utc, source, text) VALUES (1, 'other', x'41')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);

    // The user scrolls through the list.
    for (int row = 0; row < rows(*component); ++row) component->window()->model().report(row);
    ASSERT_TRUE(QTest::qWaitFor([&] { return component->window()->statusText().contains("kept as"); }, 10000))
        << component->window()->statusText().toStdString();
    ASSERT_TRUE(waitForRows(*component, 300 - lostRows));
    const QString status = component->window()->statusText();
    EXPECT_EQ(status.count("station log", Qt::CaseInsensitive), 1) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("with the %1 reports").arg(300 - lostRows))) << status.toStdString();
    const QStringList kept = QDir(QFileInfo(logPath()).absolutePath()).entryList({"reports.sqlite.damaged-*"}, QDir::Files);
    EXPECT_EQ(kept.size() - kept.filter(QRegularExpression("-wal$")).size(), 1) << kept.join(' ').toStdString();

    // New reports go into the new log, and nothing more is said.
    component->FeedText(bulletinFor(QDateTime::currentDateTimeUtc().addSecs(-4200), 2).c_str());
    ASSERT_TRUE(waitForRows(*component, 300 - lostRows + 2));
    EXPECT_EQ(component->log()->count({}), 300 - lostRows + 2);
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings.filter("is damaged").size(), 1) << warnings.join('\n').toStdString();
}

TEST_F(LoggedWindow, TheStatusLineCountsReportsInWords)
{
    auto component = open();
    EXPECT_TRUE(component->window()->statusText().startsWith("0 reports,"));
    component->FeedText(bulletinFor(QDateTime::currentDateTimeUtc().addSecs(-600), 1).c_str());
    ASSERT_TRUE(waitForRows(*component, 1));
    EXPECT_TRUE(component->window()->statusText().startsWith("1 report,")) << component->window()->statusText().toStdString();
    component->FeedText(bulletinFor(QDateTime::currentDateTimeUtc().addSecs(-4200), 2).c_str());
    ASSERT_TRUE(waitForRows(*component, 3));
    EXPECT_TRUE(component->window()->statusText().startsWith("3 reports, 0 with warnings"));

    // Reports with warnings as they come, with and without a filter: the
    // count follows the new rows, and agrees with a count made afresh.
    auto warnedBulletin = [](const QString& dayHour, int first, int warned) {
        std::string text = ("SMDL01 EDZW " + dayHour + "00\r\nAAXX " + dayHour + "1\r\n").toStdString();
        for (int i = 0; i < warned; ++i)  // a dew point above the air temperature
            text += QString("%1 11458 41606 10056 20139 30125 40110 52008=\r\n").arg(first + i).toStdString();
        text += QString("%1 11458 41606 10156 20039 30125 40110 52008=\r\n").arg(first + warned).toStdString();
        return text + "NNNN\r\n";
    };
    const QString hour = QDateTime::currentDateTimeUtc().addSecs(-600).toString("ddHH");
    component->FeedText(warnedBulletin(hour, 10300, 2).c_str());
    ASSERT_TRUE(waitForRows(*component, 6));
    EXPECT_TRUE(component->window()->statusText().startsWith("6 reports, 2 with warnings"))
        << component->window()->statusText().toStdString();

    ReportListModel& model = component->window()->model();
    ReportFilter byText = model.filter();
    byText.text = "1034";  // stations 10340 to 10349 alone
    model.setFilter(byText);
    EXPECT_EQ(model.rowCount(), 0);
    component->FeedText(warnedBulletin(hour, 10340, 3).c_str());
    ASSERT_TRUE(waitForRows(*component, 4));
    EXPECT_EQ(model.withWarnings(), 3);
    ReportFilter again = model.filter();
    again.text = "10";
    model.setFilter(again);
    model.setFilter(byText);  // read afresh
    EXPECT_EQ(model.withWarnings(), 3);
    EXPECT_TRUE(component->window()->statusText().startsWith("4 reports, 3 with warnings"))
        << component->window()->statusText().toStdString();
}

TEST_F(LoggedWindow, OnAShortScreenTheListGivesUpRowsBeforeTheWindowCoversTheMainOne)
{
    auto component = open();
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    component->putWindowLeft(room.left() * 15);
    component->putWindowTop(room.top() * 15);
    component->putOption1(true);
    SynopWindow* window = component->window();
    ASSERT_TRUE(window->isVisible());
    auto* table = window->findChild<QTableView*>();
    const int rowHeight = table->verticalHeader()->defaultSectionSize();
    const int decoration = window->frameGeometry().height() - window->height();
    const int least = window->minimumSizeHint().expandedTo(window->minimumSize()).height() + decoration;
    auto rowsShown = [&] { return table->viewport()->height() / rowHeight; };
    ASSERT_GE(rowsShown(), SynopWindow::kRowsShownAtLeast);

    // Three rows short of the room for ten: the window stays where it was put.
    const int top = room.bottom() + 1 - least + 3 * rowHeight;
    component->putWindowTop(top * 15);
    EXPECT_EQ(window->frameGeometry().top(), top);
    EXPECT_TRUE(room.contains(window->frameGeometry()));
    EXPECT_GE(rowsShown(), SynopWindow::kRowsShownOnAShortScreen);
    EXPECT_LT(rowsShown(), SynopWindow::kRowsShownAtLeast);

    // Back where there is room, the list promises its ten rows again.
    component->putWindowTop(room.top() * 15);
    EXPECT_GE(rowsShown(), SynopWindow::kRowsShownAtLeast);
}

TEST_F(LoggedWindow, TheListHasRoomForTenRowsAndTheWindowStaysOnTheScreen)
{
    auto component = open();
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect room = screen->availableGeometry();
    // Placed where the main window's bottom edge leaves almost no room.
    component->putWindowTop((room.bottom() - 40) * 15);
    component->putWindowLeft((room.right() - 100) * 15);
    component->putOption1(true);
    SynopWindow* window = component->window();
    ASSERT_TRUE(window->isVisible());
    EXPECT_TRUE(room.contains(window->frameGeometry())) << window->frameGeometry().y() << " " << window->height();
    auto* table = window->findChild<QTableView*>();
    const int rowsShown = (table->viewport()->height()) / table->verticalHeader()->defaultSectionSize();
    EXPECT_GE(rowsShown, SynopWindow::kRowsShownAtLeast);
    // The selected report's groups are there at once, beside the list, not
    // a pane the short room below the main window squeezed shut.
    auto* groups = window->findChild<QTreeWidget*>();
    ASSERT_TRUE(groups);
    EXPECT_TRUE(groups->isVisible());
    EXPECT_GE(groups->width(), 200);
    EXPECT_GE(groups->height(), 5 * table->verticalHeader()->defaultSectionSize());
    int32_t top = 0;
    component->getWindowTop(&top);
    EXPECT_EQ(top, window->pos().y() * 15);  // the host learns where it really is

    // A position from a screen that is gone.
    auto other = open();
    other->putWindowTop(-30000);
    other->putWindowLeft(-30000);
    other->putOption1(true);
    EXPECT_TRUE(room.contains(other->window()->frameGeometry()));
}

TEST_F(LoggedWindow, AReportNeverTakesTheFocusAndAClosedWindowStaysClosed)
{
    QWidget main;
    main.show();
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));

    auto component = open();
    component->putWindowTop(3000);
    component->putWindowLeft(0);
    component->FeedText(kBulletin);
    ASSERT_TRUE(waitForRows(*component, 2));
    EXPECT_TRUE(component->window()->isVisible());
    // The offscreen platform activates whatever it shows: the focus is
    // checked where a window manager decides (synop_window_under_openbox).
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        EXPECT_EQ(QApplication::activeWindow(), &main);
    }

    component->window()->close();  // the user closes it
    component->FeedText(bulletinFor(QDateTime::currentDateTimeUtc().addSecs(-600), 3).c_str());
    ASSERT_TRUE(waitForRows(*component, 5));
    EXPECT_FALSE(component->window()->isVisible());
    component->CloseDecoder(0);

    auto next = open();  // the next Start
    next->putOption1(true);
    EXPECT_TRUE(next->window()->isVisible());
}

TEST_F(LoggedWindow, ASearchOfALongLogIsCountedBetweenEventsAndListsWhatAWholeCountWould)
{
    auto component = open();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    component->FeedText(bulletinFor(now.addSecs(-4200), 30).c_str());
    ASSERT_TRUE(waitForRows(*component, 30));
    SynopWindow& window = *component->window();
    ReportListModel& model = window.model();
    model.setCountSliceRows(4);  // the log counts as long
    const ReportLog& log = *component->log();
    auto wholeCount = [&](const ReportFilter& f, bool warned = false) {
        ReportFilter whole = f;
        whole.onlyWarned = warned;
        return log.count(whole);
    };

    // Only the unsaved reports are listed until the count is done; the
    // status line says so.
    window.setFilterText("dew point");
    EXPECT_TRUE(model.counting());
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(window.statusText().startsWith("Searching the station log: ")) << window.statusText().toStdString();

    // Reports stored meanwhile (two with warnings that the text finds) are
    // listed once the count is done.
    std::string warned = "SMDL01 EDZW " + now.addSecs(-600).toString("ddHH").toStdString() + "00\r\nAAXX " +
                         now.addSecs(-600).toString("ddHH").toStdString() + "1\r\n";
    for (int station : {10500, 10501}) warned += std::to_string(station) + " 11458 41606 10056 20139 30125 40110 52008=\r\n";
    component->FeedText((warned + "NNNN\r\n").c_str());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.counting() && model.rowCount() == 2; }, 30000));
    EXPECT_EQ(model.rowCount(), wholeCount(model.filter()));
    EXPECT_EQ(model.withWarnings(), 2);
    ASSERT_NE(model.report(1), nullptr);
    EXPECT_EQ(model.report(1)->report.station, "10501");
    EXPECT_TRUE(window.statusText().startsWith("2 reports, 2 with warnings")) << window.statusText().toStdString();

    // A new text while a count is under way starts it afresh.
    window.setFilterText("1011");
    window.setFilterText("1012");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.counting(); }, 30000));
    EXPECT_EQ(model.filter().text, "1012");
    EXPECT_EQ(model.rowCount(), wholeCount(model.filter()));
    EXPECT_GT(model.rowCount(), 0);

    // Saving while a count is under way saves every report the text finds.
    window.setFilterText("10");
    ASSERT_TRUE(model.counting());
    const QString path = dir.filePath("found.jsonl");
    EXPECT_TRUE(window.save(path, ExportFormat::JsonLines).isEmpty());
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().count('\n'), wholeCount(model.filter()));
    EXPECT_EQ(wholeCount(model.filter()), 32);

    // A range of few reports is counted at once however long the log.
    ReportFilter oneStation = model.filter();
    oneStation.station = "10105";
    model.setFilter(oneStation);
    EXPECT_FALSE(model.counting());
    EXPECT_EQ(model.rowCount(), 1);
}

#include "sources/DemoFeed.h"
#include "sources/SynopBulletin.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace cardserver;

namespace {

QDateTime at(int day, int hour) { return QDateTime(QDate(2026, 12, day), QTime(hour, 0), Qt::UTC); }

// Reports of one round of the broadcast, continuation lines joined, by station.
QMap<QString, QStringList> reportsAt(const QDateTime& time, QStringList* lines = nullptr)
{
    DemoFeed feed(1, time);
    QMap<QString, QStringList> reports;
    QString pending;
    int pauses = 0;
    while (pauses < 30) {
        const QString line = feed.next();
        if (line.isEmpty()) {
            ++pauses;
            continue;
        }
        if (feed.reportTime() != time.addSecs(3 * 3600)) break;  // the next round began
        if (lines) *lines << line;
        const QString body = line.trimmed();
        if (!QRegularExpression(QStringLiteral("^\\d{5}( |$)")).match(body).hasMatch() && pending.isEmpty()) continue;
        pending += (pending.isEmpty() ? QString() : QStringLiteral(" ")) + body;
        if (pending.endsWith('=')) {
            const QStringList groups = pending.chopped(1).split(' ');
            reports[groups.first()] = groups;
            pending.clear();
        }
    }
    return reports;
}

double tenths(const QString& group)  // snTTT
{
    const double value = group.mid(2).toInt() / 10.0;
    return group.at(1) == '1' ? -value : value;
}

double pressure(const QString& group)  // 3PPPP or 4PPPP
{
    const double value = group.mid(1).toInt() / 10.0;
    return value < 500 ? 1000 + value : value;
}

QString groupStarting(const QStringList& groups, const QString& prefix, int from = 3)
{
    for (int i = from; i < groups.size() && groups[i] != "333"; ++i)
        if (groups[i].startsWith(prefix)) return groups[i];
    return {};
}

}  // namespace

TEST(DemoBulletins, LookLikeTeleprinterBulletins)
{
    QStringList lines;
    const auto reports = reportsAt(at(8, 12), &lines);
    EXPECT_GE(reports.size(), 60);
    int missing = 0;
    for (int day = 1; day <= 10; ++day)
        for (const QStringList& report : reportsAt(at(day, 0))) missing += report.size() == 2 && report[1] == "NIL";
    EXPECT_GT(missing, 0);  // a station that did not report, as in real bulletins
    EXPECT_LT(missing, 73);
    for (const QString& line : lines) {
        EXPECT_TRUE(line.endsWith("\r\n"));
        EXPECT_LE(line.size(), 71) << line.toStdString();
    }
    const QString all = lines.join(QString());
    EXPECT_TRUE(all.contains("ZCZC "));
    EXPECT_TRUE(all.contains("\r\nSMDL01 EDZW 081200\r\nAAXX 08121\r\n"));
    EXPECT_TRUE(all.contains("\r\nNNNN\r\n"));
    EXPECT_TRUE(reportsAt(at(8, 15)).size() > 0);
}

TEST(DemoBulletins, ReportsAreInternallyConsistent)
{
    QHash<QString, int> elevations;
    for (const Station& station : demoStations()) elevations[station.index] = station.elevation;
    for (const int hour : {6, 18}) {
        const auto reports = reportsAt(at(9, hour));
        for (const QStringList& g : reports) {
            SCOPED_TRACE(g.join(' ').toStdString());
            if (g.size() == 2 && g[1] == "NIL") continue;
            for (const QString& group : g) EXPECT_TRUE(group == "333" || group.size() == 5);
            const int iR = g[1].mid(0, 1).toInt(), iX = g[1].mid(1, 1).toInt();
            const int cover = g[2].mid(0, 1).toInt();
            const QString dd = g[2].mid(1, 2), ff = g[2].mid(3, 2);
            EXPECT_EQ(dd == "00", ff == "00");
            EXPECT_EQ(iR == 1, !groupStarting(g, "6").isEmpty());
            EXPECT_NE(iR, 4);  // a main hour reports its precipitation
            EXPECT_EQ(iX == 1, !groupStarting(g, "7").isEmpty());
            if (cover == 0) {
                EXPECT_EQ(g[1].mid(2, 1), "9");
            }
            const double t = tenths(groupStarting(g, "1"));
            const double td = tenths(groupStarting(g, "2"));
            EXPECT_LE(td, t);
            EXPECT_GT(t, -30);
            EXPECT_LT(t, 30);
            const double station = pressure(groupStarting(g, "3"));
            const double sea = pressure(groupStarting(g, "4"));
            EXPECT_GT(sea, 950);
            EXPECT_LT(sea, 1060);
            // About 1 hPa less for every 8 m above the sea (Schiphol lies below it).
            const int elevation = elevations.value(g.first());
            EXPECT_NEAR(sea - station, elevation / 8.3, 1 + elevation / 80.0);
            const qsizetype section3 = g.indexOf("333");
            ASSERT_GE(section3, 0);  // maximum at 18, minimum at 06
            const QString extreme = g.at(section3 + 1);
            EXPECT_EQ(extreme.at(0), hour == 18 ? '1' : '2');
            if (hour == 18) {
                EXPECT_GE(tenths(extreme), t);
            } else {
                EXPECT_LE(tenths(extreme), t);
            }
        }
    }
}

TEST(DemoBulletins, WeatherIsSmoothInSpaceAndTimeButNotConstant)
{
    const auto now = reportsAt(at(10, 12));
    const auto before = reportsAt(at(10, 9));
    // Neighbours (Berlin's two airports) see the same pressure.
    EXPECT_NEAR(pressure(groupStarting(now["10384"], "4")), pressure(groupStarting(now["10385"], "4")), 1.5);
    QSet<QString> temperatures;
    int tendencyChecked = 0;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        temperatures << groupStarting(*it, "1");
        if (it->size() == 2 || before[it.key()].size() == 2) continue;  // NIL
        const QString tendency = groupStarting(*it, "5");
        if (!before.contains(it.key()) || tendency.isEmpty()) continue;
        // The tendency is what the barometer did since the previous report.
        const double change = pressure(groupStarting(*it, "4")) - pressure(groupStarting(before[it.key()], "4"));
        const double reported = tendency.mid(2).toInt() / 10.0 * (tendency.at(1) == '7' ? -1 : 1);
        EXPECT_NEAR(reported, change, 0.75) << it.key().toStdString();
        ++tendencyChecked;
    }
    EXPECT_GE(tendencyChecked, 55);
    EXPECT_GE(temperatures.size(), 20);
    EXPECT_NE(now["10384"].mid(1, 7), before["10384"].mid(1, 7));
}

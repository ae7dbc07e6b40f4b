// The station model's parts: the barb, the plotted figures, the weather
// symbols and the cloud circle, checked on their numbers and on pixels.
#include "synopcomponent/map/StationModelPainter.h"
#include "synopcomponent/map/StationValues.h"
#include "synopcomponent/map/WeatherCodes.h"
#include "synopcomponent/map/WeatherSymbols.h"
#include "synopcomponent/map/WindBarb.h"
#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace synop::map;

TEST(WindBarb, SpeedIsToldInPennantsBarbsAndHalfBarbs)
{
    EXPECT_EQ(barbFeathers(65), (BarbFeathers{1, 1, 1}));
    EXPECT_EQ(barbFeathers(5), (BarbFeathers{0, 0, 1}));
    EXPECT_EQ(barbFeathers(10), (BarbFeathers{0, 1, 0}));
    EXPECT_EQ(barbFeathers(47), (BarbFeathers{0, 4, 1}));  // to the nearest 5 kt: 45
    EXPECT_EQ(barbFeathers(48), (BarbFeathers{1, 0, 0}));  // 50
    EXPECT_EQ(barbFeathers(2), (BarbFeathers{0, 0, 0}));   // a staff alone
    EXPECT_EQ(barbFeathers(103), (BarbFeathers{2, 0, 1}));
}

TEST(WindBarb, StaffPointsToWhereTheWindComesFromWithFeathersOnTheLowPressureSide)
{
    // A westerly: the staff runs west; in the north the barbs stand north of it, in the south south of it.
    const QRectF north = windBarb(270, 20, Hemisphere::North).lines.boundingRect();
    const QRectF south = windBarb(270, 20, Hemisphere::South).lines.boundingRect();
    EXPECT_LT(north.left(), -20);
    EXPECT_LE(north.right(), 0.01);
    EXPECT_LT(north.top(), -5);
    EXPECT_NEAR(north.bottom(), 0, 0.01);
    EXPECT_GT(south.bottom(), 5);
    EXPECT_NEAR(south.top(), 0, 0.01);

    // A northerly: the staff runs up the screen, the barbs stand east of it in the north.
    const QRectF fromNorth = windBarb(360, 10, Hemisphere::North).lines.boundingRect();
    EXPECT_LT(fromNorth.top(), -20);
    EXPECT_GT(fromNorth.right(), 5);
    EXPECT_NEAR(fromNorth.left(), 0, 0.01);

    // Pennants are filled triangles; a barb without pennants has none.
    EXPECT_FALSE(windBarb(90, 65, Hemisphere::North).pennants.isEmpty());
    EXPECT_TRUE(windBarb(90, 45, Hemisphere::North).pennants.isEmpty());
    // Long staffs grow to carry many pennants rather than crowding them into the circle.
    const QRectF strong = windBarb(180, 150, Hemisphere::North).lines.boundingRect();
    EXPECT_GT(strong.bottom(), BarbGeometry{}.staffLength);
}

TEST(PlottedFigures, PressureInThreeFiguresAndTheChangeInTenths)
{
    EXPECT_EQ(pressureFigures(1013.2), "132");
    EXPECT_EQ(pressureFigures(998.7), "987");
    EXPECT_EQ(pressureFigures(1000.0), "000");
    EXPECT_EQ(pressureFigures(1009.96), "100");
    EXPECT_EQ(pressureFigures(1030.4), "304");
    EXPECT_EQ(pressureChangeFigures(-0.5), "-05");
    EXPECT_EQ(pressureChangeFigures(1.2), "+12");
    EXPECT_EQ(pressureChangeFigures(-0.01), "+00");
    EXPECT_EQ(pressureChangeFigures(12.3), "+123");
}

TEST(WeatherCodes, EachFamilyOfPresentWeather)
{
    const std::pair<int, WeatherFamily> manned[] = {
        {0, WeatherFamily::None},          {3, WeatherFamily::None},         {4, WeatherFamily::Smoke},
        {5, WeatherFamily::Haze},          {7, WeatherFamily::DustSand},     {31, WeatherFamily::DustStorm},
        {10, WeatherFamily::Mist},         {12, WeatherFamily::ShallowFog},  {45, WeatherFamily::Fog},
        {17, WeatherFamily::Thunderstorm}, {38, WeatherFamily::BlowingSnow}, {51, WeatherFamily::Drizzle},
        {56, WeatherFamily::FreezingDrizzle}, {59, WeatherFamily::DrizzleAndRain}, {61, WeatherFamily::Rain},
        {66, WeatherFamily::FreezingRain}, {68, WeatherFamily::RainAndSnow}, {73, WeatherFamily::Snow},
        {79, WeatherFamily::IcePellets},   {80, WeatherFamily::RainShower},  {85, WeatherFamily::SnowShower},
        {89, WeatherFamily::HailShower},   {95, WeatherFamily::Thunderstorm}, {99, WeatherFamily::Thunderstorm},
    };
    for (const auto& [ww, family] : manned) EXPECT_EQ(mannedWeatherSymbol(ww).family, family) << "ww " << ww;

    // Intensity and continuity shape the glyph: 60 one dot, 65 four.
    EXPECT_EQ(mannedWeatherSymbol(60), (WeatherSymbol{WeatherFamily::Rain, 1, false}));
    EXPECT_EQ(mannedWeatherSymbol(63), (WeatherSymbol{WeatherFamily::Rain, 2, true}));
    EXPECT_EQ(mannedWeatherSymbol(65), (WeatherSymbol{WeatherFamily::Rain, 3, true}));
    EXPECT_TRUE(mannedWeatherSymbol(25).recent);
    EXPECT_EQ(mannedWeatherSymbol(25).family, WeatherFamily::RainShower);
    EXPECT_TRUE(mannedWeatherSymbol(96).withHail);
    EXPECT_FALSE(mannedWeatherSymbol(95).withHail);
    EXPECT_EQ(mannedWeatherSymbol(100).family, WeatherFamily::None);

    // Automatic stations number their codes differently (wawa).
    EXPECT_EQ(automaticWeatherSymbol(30).family, WeatherFamily::Fog);
    EXPECT_EQ(automaticWeatherSymbol(61).family, WeatherFamily::Rain);
    EXPECT_EQ(automaticWeatherSymbol(71).family, WeatherFamily::Snow);
    EXPECT_EQ(automaticWeatherSymbol(81).family, WeatherFamily::RainShower);
    EXPECT_EQ(automaticWeatherSymbol(90).family, WeatherFamily::Thunderstorm);
    EXPECT_EQ(automaticWeatherSymbol(45).family, WeatherFamily::Snow);  // solid precipitation; 45 is fog for a manned station

    // Past weather has tables of its own, manned and automatic apart.
    EXPECT_EQ(pastWeatherSymbol(2, false).family, WeatherFamily::None);
    EXPECT_EQ(pastWeatherSymbol(3, false).family, WeatherFamily::DustStorm);
    EXPECT_EQ(pastWeatherSymbol(3, true).family, WeatherFamily::Fog);
    EXPECT_EQ(pastWeatherSymbol(4, false).family, WeatherFamily::Fog);
    EXPECT_EQ(pastWeatherSymbol(6, false).family, WeatherFamily::Rain);
    EXPECT_EQ(pastWeatherSymbol(8, true).family, WeatherFamily::RainShower);
    EXPECT_EQ(pastWeatherSymbol(9, false).family, WeatherFamily::Thunderstorm);
}

namespace {

QImage blank(int w = 120, int h = 80)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::white);
    return image;
}

int inked(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) != qRgb(255, 255, 255);
    return n;
}

synop::DecodedReport decoded(const std::string& text)
{
    std::vector<synop::AssembledReport> reports;
    synop::StreamAssembler assembler([&](synop::AssembledReport&& r) { reports.push_back(std::move(r)); });
    assembler.feed(text);
    assembler.finish();
    return reports.empty() ? synop::DecodedReport{} : synop::decodeReport(reports.front());
}

}  // namespace

TEST(WeatherSymbols, EveryFamilyDrawsSomethingAndNoneDrawsNothing)
{
    for (int ww = 4; ww < 100; ++ww) {
        QImage image = blank(40, 40);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawWeatherSymbol(p, QPointF(20, 20), 2.0, mannedWeatherSymbol(ww));
        p.end();
        EXPECT_GT(inked(image), 6) << "ww " << ww << " (" << weatherFamilyName(mannedWeatherSymbol(ww).family) << ")";
    }
    QImage image = blank(40, 40);
    QPainter p(&image);
    drawWeatherSymbol(p, QPointF(20, 20), 2.0, mannedWeatherSymbol(2));
    p.end();
    EXPECT_EQ(inked(image), 0);
}

TEST(StationModel, CloudCircleFillsWithTheOktas)
{
    auto centreIsDark = [](std::optional<int> okta, QPointF probe) {
        QImage image = blank(40, 40);
        QPainter p(&image);
        drawCloudCover(p, QPointF(20, 20), 10, okta);
        p.end();
        return qGray(image.pixel(probe.toPoint())) < 100;
    };
    const QPointF upperRight(24, 16), upperLeft(16, 16), lowerRight(24, 24), lowerLeft(16, 24);
    EXPECT_FALSE(centreIsDark(0, upperRight));
    EXPECT_TRUE(centreIsDark(2, upperRight));
    EXPECT_FALSE(centreIsDark(2, lowerRight));
    EXPECT_TRUE(centreIsDark(4, lowerRight));
    EXPECT_FALSE(centreIsDark(4, lowerLeft));
    EXPECT_TRUE(centreIsDark(6, lowerLeft));
    EXPECT_FALSE(centreIsDark(6, upperLeft));
    EXPECT_TRUE(centreIsDark(8, upperLeft));
    EXPECT_FALSE(centreIsDark(7, QPointF(20, 16)));  // the gap of seven oktas
}

TEST(StationModel, DrawsOnlyWhatTheReportCarriesWithinItsFootprint)
{
    // Hamburg-Fuhlsbuettel as a DWD bulletin gives it: wind 240 degrees 12 kt, rain.
    const synop::DecodedReport r = decoded("AAXX 08064\n10147 41460 72412 10062 20041 39963 40124 52012 76162 86500=\n");
    const StationValues v = stationValues(r);
    ASSERT_TRUE(v.windKt && v.presentWeather && v.seaLevelPressureHpa && v.airTempC && v.dewPointC);
    EXPECT_FALSE(v.automaticWeather);
    EXPECT_EQ(v.completeness(), 7);

    StationModelPainter painter;
    QImage full = blank(200, 140);
    QPainter p(&full);
    p.setRenderHint(QPainter::Antialiasing);
    painter.drawModel(p, QPointF(100, 70), v, 53.6);
    p.end();
    QImage circleOnly = blank(200, 140);
    QPainter q(&circleOnly);
    painter.drawModel(q, QPointF(100, 70), StationValues{}, 53.6);
    q.end();
    EXPECT_GT(inked(full), 4 * inked(circleOnly));
    // Past weather (W1 = 6, rain) stands lower right, below the tendency.
    ASSERT_EQ(v.pastWeather1, 6);
    auto inkedLowerRight = [](const QImage& image) {
        int n = 0;
        for (int y = 70 + 10; y < 70 + 22; ++y)
            for (int x = 100 + 6; x < 100 + 18; ++x) n += image.pixel(x, y) != qRgb(255, 255, 255);
        return n;
    };
    EXPECT_GT(inkedLowerRight(full), 4);
    StationValues withoutPast = v;
    withoutPast.pastWeather1.reset();
    withoutPast.pastWeather2.reset();
    QImage noPast = blank(200, 140);
    QPainter n(&noPast);
    n.setRenderHint(QPainter::Antialiasing);
    painter.drawModel(n, QPointF(100, 70), withoutPast, 53.6);
    n.end();
    EXPECT_EQ(inkedLowerRight(noPast), 0);
    // Nothing outside the footprint that declutter keeps apart.
    const QRect inside = StationModelPainter::footprint().translated(100, 70).toAlignedRect();
    for (int y = 0; y < full.height(); ++y)
        for (int x = 0; x < full.width(); ++x)
            if (!inside.contains(x, y)) {
                ASSERT_EQ(full.pixel(x, y), qRgb(255, 255, 255)) << x << "," << y;
            }

    // Winds in metres per second are plotted in knots.
    const StationValues metric = stationValues(decoded("AAXX 08061\n10147 41460 72410 10062=\n"));
    ASSERT_TRUE(metric.windKt);
    EXPECT_NEAR(*metric.windKt, 19.44, 0.01);
}

TEST(StationModel, AutomaticStationsWeatherIsReadFromItsOwnTable)
{
    // ix = 7: an automatic station, wawa 61 (slight rain).
    const StationValues v = stationValues(decoded("AAXX 08064\n10147 47460 72412 10062 20041 76100=\n"));
    ASSERT_TRUE(v.presentWeather);
    EXPECT_TRUE(v.automaticWeather);
    EXPECT_EQ(automaticWeatherSymbol(*v.presentWeather).family, WeatherFamily::Rain);
    // Past weather alone: the table still follows ix, not the words of a present weather.
    const StationValues past = stationValues(decoded("AAXX 08064\n10147 47460 72412 10062 20041 7//43=\n"));
    EXPECT_FALSE(past.presentWeather);
    EXPECT_TRUE(past.automaticWeather);
    EXPECT_FALSE(stationValues(decoded("AAXX 08061\n10147 41460 72412 10062 20041 7//43=\n")).automaticWeather);
}

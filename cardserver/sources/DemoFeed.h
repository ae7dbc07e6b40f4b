#pragma once
// The built-in broadcast: SYNOP bulletins for the demo stations, country by
// country, every three hours of report time; each round moves on three
// hours, so the reports keep changing as the loop goes round.
#include "WeatherModel.h"
#include "card/TextFeed.h"

#include <QStringList>

namespace cardserver {

class DemoFeed : public TextFeed {
public:
    // The broadcast starts with the reports of the last 3-hourly time before
    // `start` (default: now). Every feed shares one weather, as every
    // receiver shares one sky; the seed varies only where the loop starts.
    explicit DemoFeed(uint32_t seed, const QDateTime& start = QDateTime::currentDateTimeUtc());
    static constexpr uint32_t kWeatherSeed = 2026;

    QString next() override;
    QString describe() const override { return QStringLiteral("demo bulletins"); }
    QDateTime reportTime() const { return m_time; }

private:
    void prepareRound();

    WeatherModel m_model;
    QList<Station> m_stations;
    QStringList m_countries;
    QDateTime m_time;
    QStringList m_pending;  // lines still to send; empty strings are pauses
    int m_sequence = 0;
};

}  // namespace cardserver

#include "DemoFeed.h"

#include "SynopBulletin.h"

namespace cardserver {

DemoFeed::DemoFeed(uint32_t seed, const QDateTime& start)
    : m_model(kWeatherSeed), m_stations(demoStations())
{
    for (const Station& station : m_stations)
        if (!m_countries.contains(station.country)) m_countries << station.country;
    const QDateTime utc = start.toUTC();
    m_time = QDateTime(utc.date(), QTime(utc.time().hour() / 3 * 3, 0), Qt::UTC);
    m_sequence = int(seed % 900);
    prepareRound();
}

void DemoFeed::prepareRound()
{
    for (const QString& country : m_countries) {
        QList<Station> members;
        for (const Station& station : m_stations)
            if (station.country == country) members << station;
        m_pending << synopBulletin(++m_sequence, country, members, m_time, m_model);
        m_pending << QString() << QString();  // a pause between bulletins
    }
    m_time = m_time.addSecs(3 * 3600);
}

QString DemoFeed::next()
{
    if (m_pending.isEmpty()) prepareRound();
    if (m_pending.isEmpty()) return {};  // no stations: an idle channel
    return m_pending.takeFirst();
}

}  // namespace cardserver

#pragma once
// FM 12 SYNOP reports and the teleprinter bulletins that carry them:
// ZCZC nnn / abbreviated header / AAXX YYGGiw / reports ending "=" / NNNN,
// CR LF line ends.
#include "WeatherModel.h"

#include <QStringList>

namespace cardserver {

// One station's report, groups separated by blanks, ending with "=".
QString encodeSynop(const Station& station, const Observation& o, const QDateTime& utc,
                    const WeatherModel& model);

// The lines of one bulletin (each ending CR LF) for the stations of one
// country at a main or intermediate hour.
QStringList synopBulletin(int sequence, const QString& country, const QList<Station>& stations,
                          const QDateTime& utc, const WeatherModel& model);

}  // namespace cardserver

#pragma once
// The JSON keys of a ship's section 2 and a buoy's sections 2 and 3.
#include "synopdecoder/Report.h"

#include <QJsonObject>

namespace synop {

void putSeaValues(QJsonObject& o, const DecodedReport& r);

}  // namespace synop

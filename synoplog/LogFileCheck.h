#pragma once
// Whether a path may be opened as the station log without harm: a tool
// pointed at the wrong file (a text archive, another program's database)
// must refuse it, not set it aside and start a log in its place.
#include <QString>

namespace synop {

// Empty when the path holds a station log, an empty file or SQLite database,
// or nothing yet; otherwise why it is not a station log, in words.
QString whyNotAStationLog(const QString& path);

}  // namespace synop

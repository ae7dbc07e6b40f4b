#pragma once
// Reading what still reads of a damaged hive: every table row by row, past
// damaged pages by rowid ranges, the copies filling in what the tables lost.
#include <sqlite3.h>

namespace platform::detail {

struct SalvageCount {
    int keys = 0;
    int values = 0;
    bool everythingRead = true;  // the tables proper (not their copies) read to the end
};

// A new in-memory hive with what could be read from damaged (which may be
// null: a file that is no database gives an empty hive). Null only when
// memory runs out.
sqlite3* salvageHive(sqlite3* damaged, SalvageCount* count);

}  // namespace platform::detail

// A front end closing, in a process of its own: saves its window's place
// again and again, every value of a save carrying the same number
// (ID * 100000 + the save's number), so that a reader can tell one save's
// values from another's.
//   settings_writer ID SAVES    (the hive is $PLUVANE_HIVE)
#include "settings/SettingsStore.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    const int id = std::atoi(argv[1]);
    const int saves = std::atoi(argv[2]);
    const QString app = QStringLiteral("Pluvane");
    int failures = 0;
    for (int i = 0; i < saves; ++i) {
        const int32_t tag = id * 100000 + i;
        failures += !settings::WriteSettings(app, {{"X", static_cast<float>(tag)},
                                                   {"Y", static_cast<float>(tag)},
                                                   {"X-Synop", tag},
                                                   {"Y-Synop", tag}});
    }
    if (failures) std::fprintf(stderr, "%d of %d saves failed\n", failures, saves);
    return failures == 0 ? 0 : 1;
}

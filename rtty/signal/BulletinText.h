#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace rtty {

// Endless, plausible SYNOP bulletins (heading, AAXX section, one report per
// station, NNNN), for the demo broadcast. Seeded, so runs repeat.
class BulletinText {
public:
    explicit BulletinText(uint32_t seed = 1) : rng_(seed) {}
    std::string next();

private:
    std::string report(int stationIndex);
    int uniform(int low, int high);

    std::mt19937 rng_;
    int bulletinNumber_ = 0;
    int hour_ = 0;
};

}  // namespace rtty

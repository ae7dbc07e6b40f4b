#include "AlsCases.h"

#include "rtty/signal/BulletinText.h"
#include "rtty/signal/FskModulator.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace rtty::testing {

AlsCase alsCase(unsigned seed)
{
    std::mt19937 rng(seed);
    const double bauds[] = {45.45, 50, 75, 100};
    const double shifts[] = {170, 425, 450, 850, 1000};
    const double rates[] = {8000, 11025, 44100, 48000};
    AlsCase line;
    line.parameters.baud = bauds[rng() % 4];
    line.parameters.shiftHz = shifts[rng() % 5];
    line.parameters.inverted = rng() % 2;
    line.sampleRate = rates[rng() % 4];
    line.parameters.centreHz = std::uniform_real_distribution<double>(300.0, 3000.0)(rng);
    // Both tones inside the audio band (a centre of 300 Hz cannot carry a 1000 Hz shift).
    const double half = line.parameters.shiftHz / 2;
    line.parameters.centreHz = std::clamp(line.parameters.centreHz, 250.0 + half, 0.45 * line.sampleRate - half);
    return line;
}

AlsResult searchSamples(const std::vector<float>& samples, double sampleRate)
{
    AutoLineSearch search(sampleRate);
    for (size_t i = 0; i < samples.size() && !search.determined(); i += 1024)
        search.process(samples.data() + i, std::min<size_t>(1024, samples.size() - i));
    search.finish();
    return search.result();
}

AlsResult searchLine(const AlsCase& line, double snrDb, unsigned seed)
{
    BulletinText bulletins(seed);
    RenderOptions options;
    options.addNoise = true;
    options.snrDb = snrDb;
    options.seed = seed;
    options.leaderBits = 5;
    const auto samples = renderText(bulletins.next() + bulletins.next(), line.sampleRate, line.parameters, options);
    return searchSamples(samples, line.sampleRate);
}

bool foundLine(const AlsResult& result, const RttyParameters& truth)
{
    return result.determined && result.baud == truth.baud && std::fabs(result.shiftHz - truth.shiftHz) <= 10.0
        && std::fabs(result.centreHz - truth.centreHz) <= 10.0 && result.inverted == truth.inverted;
}

}  // namespace rtty::testing

#include "cardserver/demod/AutoLineSearch.h"

#include "cardserver/demod/AlsSteps.h"
#include "cardserver/demod/RttyDemodulator.h"

#include <algorithm>
#include <cmath>

namespace rtty {

namespace {

constexpr double kAllBauds[] = {100.0, 75.0, 50.0, 45.45};
constexpr double kFirstLookSeconds = 3.0;
constexpr double kLookEverySeconds = 2.0;
constexpr double kToneSearchHz = 80.0;
constexpr double kFinalSearchHz = 24.0;

struct Hypothesis {
    RttyParameters parameters;
    double quality = 0.0;  // well-framed characters per character time
    size_t frames = 0;
    std::vector<FrameEvent> events;
};

// The sample ranges where each tone is on, from framed characters: each
// slot of a character (start, data, stop) with a tenth of a bit trimmed at
// the edges, neighbouring slots of one tone joined.
void toneRuns(const Hypothesis& hypothesis, double sampleRate, size_t sampleCount,
              std::vector<std::pair<size_t, size_t>>& markRuns, std::vector<std::pair<size_t, size_t>>& spaceRuns)
{
    const double bit = sampleRate / hypothesis.parameters.baud;
    for (const FrameEvent& frame : hypothesis.events) {
        bool slots[7];
        slots[0] = false;
        for (int i = 0; i < 5; ++i)
            slots[i + 1] = (frame.code >> i) & 1;
        slots[6] = true;
        int first = 0;
        for (int i = 1; i <= 7; ++i) {
            if (i < 7 && slots[i] == slots[first])
                continue;
            const double from = frame.startSample + (first + 0.1) * bit;
            const double to = frame.startSample + (i - 0.1) * bit;
            if (from >= 0.0 && to <= double(sampleCount))
                (slots[first] ? markRuns : spaceRuns).emplace_back(size_t(from), size_t(to));
            first = i;
        }
    }
}

// Frames the audio under one hypothesis: each frame counts by how close its
// score comes to a clean frame's, over the characters the time could hold.
Hypothesis tryHypothesis(const std::vector<float>& samples, double sampleRate, const RttyParameters& parameters)
{
    Hypothesis hypothesis;
    hypothesis.parameters = parameters;
    if (parameterProblem(parameters, sampleRate))
        return hypothesis;
    RttyDemodulator demodulator(sampleRate, parameters);
    double sum = 0.0;
    demodulator.setFrameObserver([&](const FrameEvent& event) {
        if (!event.printed)
            return;
        ++hypothesis.frames;
        hypothesis.events.push_back(event);
        sum += std::clamp(event.score / (4.0 * std::max(event.signalToNoise, 1.0)), 0.0, 1.0);
    });
    std::string text;
    demodulator.process(samples.data(), samples.size(), text);
    const double characters = double(samples.size()) / sampleRate * parameters.baud / 7.5;
    hypothesis.quality = characters > 0 ? sum / characters : 0.0;
    return hypothesis;
}

}  // namespace

AutoLineSearch::AutoLineSearch(double sampleRate, double maxSeconds)
    : sampleRate_(sampleRate), maxSamples_(static_cast<size_t>(maxSeconds * sampleRate)),
      nextAnalysis_(static_cast<size_t>(kFirstLookSeconds * sampleRate))
{
    result_.reason = "still listening";
}

void AutoLineSearch::process(const float* samples, size_t n)
{
    while (!finished_ && n > 0) {
        const size_t take = std::min(n, maxSamples_ - samples_.size());
        samples_.insert(samples_.end(), samples, samples + take);
        samples += take;
        n -= take;
        if (samples_.size() >= maxSamples_) {
            analyse(true);
        } else if (samples_.size() >= nextAnalysis_) {
            analyse(false);
            nextAnalysis_ += static_cast<size_t>(kLookEverySeconds * sampleRate_);
        }
    }
}

void AutoLineSearch::finish()
{
    if (!finished_)
        analyse(true);
}

void AutoLineSearch::analyse(bool final)
{
    AlsResult result;
    result.secondsUsed = double(samples_.size()) / sampleRate_;
    auto conclude = [&](AlsResult r) {
        result_ = std::move(r);
        finished_ = final || result_.determined;
        if (finished_)
            samples_ = {};
    };

    const als::Spectrum spectrum = als::welchSpectrum(samples_, sampleRate_);
    std::string reason;
    const std::vector<als::TonePair> pairs = als::findTonePairs(samples_, sampleRate_, spectrum, reason);
    if (pairs.empty()) {
        result.reason = reason;
        return conclude(result);
    }

    // The best-keyed pair; speeds the transitions allow, or all of them.
    const als::TonePair& tones = pairs.front();
    const als::Keying keying = als::keying(samples_, sampleRate_, tones);
    std::vector<double> bauds = als::candidateBauds(keying);
    if (bauds.empty())
        bauds.assign(std::begin(kAllBauds), std::end(kAllBauds));
    const double low = als::refineTone(samples_, sampleRate_, keying.lowRuns, tones.lowHz, kToneSearchHz);
    const double high = als::refineTone(samples_, sampleRate_, keying.highRuns, tones.highHz, kToneSearchHz);

    std::vector<Hypothesis> tried;
    for (double baud : bauds) {
        for (bool inverted : {false, true}) {
            RttyParameters parameters;
            parameters.baud = baud;
            parameters.centreHz = 0.5 * (low + high);
            parameters.shiftHz = high - low;
            parameters.inverted = inverted;
            tried.push_back(tryHypothesis(samples_, sampleRate_, parameters));
        }
    }
    std::sort(tried.begin(), tried.end(), [](const Hypothesis& a, const Hypothesis& b) { return a.quality > b.quality; });
    const Hypothesis& best = tried.front();
    const double runnerUp = tried.size() > 1 ? tried[1].quality : 0.0;

    // Early on, only a clear lead over enough characters; at the end, a lead.
    const bool clear = best.frames >= 20 && best.quality >= 0.6 && best.quality >= 1.5 * runnerUp;
    const bool enough = best.quality >= 0.35 && best.quality >= 1.2 * runnerUp;
    if (clear || (final && enough)) {
        // The tones once more, now from the framed bits.
        std::vector<std::pair<size_t, size_t>> markRuns, spaceRuns;
        toneRuns(best, sampleRate_, samples_.size(), markRuns, spaceRuns);
        const double mark = als::refineTone(samples_, sampleRate_, markRuns, best.parameters.markHz(), kFinalSearchHz);
        const double space = als::refineTone(samples_, sampleRate_, spaceRuns, best.parameters.spaceHz(), kFinalSearchHz);
        result.determined = true;
        result.centreHz = 0.5 * (mark + space);
        result.shiftHz = std::fabs(mark - space);
        result.baud = best.parameters.baud;
        result.inverted = best.parameters.inverted;
        return conclude(result);
    }
    result.reason = best.quality < 0.35 ? "FSK tones found, but no characters frame at any speed"
                                        : "no speed and polarity frames clearly better than another";
    conclude(result);
}

}  // namespace rtty

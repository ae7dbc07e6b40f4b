#include "rtty/linesearch/AutoLineSearch.h"

#include "rtty/linesearch/AlsSteps.h"
#include "rtty/dsp/RttyDemodulator.h"

#include <algorithm>
#include <limits>
#include <cmath>

namespace rtty {

namespace {

constexpr double kAllBauds[] = {100.0, 75.0, 50.0, 45.45};
constexpr double kFirstLookSeconds = 3.0;
constexpr double kLookEverySeconds = 2.0;
constexpr double kToneSearchHz = 80.0;
constexpr double kFinalSearchHz = 24.0;
// Framing quality is judged over the time since the line began, but never
// over less than this: a line that began late in the window is not held
// back by the noise before it.
constexpr double kLeastJudgedSeconds = 3.0;

struct Hypothesis {
    RttyParameters parameters;
    double quality = 0.0;  // well-framed characters per character time
    double agreed = 0.0;   // the same, each weighed by how well its start and stop agree with the signal
    size_t frames = 0;
    std::vector<FrameEvent> events;
    std::vector<double> weights;  // how well each event framed, 0..1
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
    const double bit = sampleRate / parameters.baud;
    demodulator.setFrameObserver([&](const FrameEvent& event) {
        if (!event.printed)
            return;
        // A frame counts in full only where it follows the one before by a
        // character's length: machine traffic runs back to back, while the
        // other polarity or a wrong speed frames here and there.
        const bool chained = !hypothesis.events.empty()
            && std::fabs((event.startSample - hypothesis.events.back().startSample) / bit - 7.5) <= 0.6;
        ++hypothesis.frames;
        hypothesis.events.push_back(event);
        hypothesis.weights.push_back((chained ? 1.0 : 0.5)
                                     * std::clamp(event.score / (4.0 * std::max(event.signalToNoise, 1.0)), 0.0, 1.0));
    });
    std::string text;
    demodulator.process(samples.data(), samples.size(), text);
    return hypothesis;
}

// Each hypothesis's quality over one stretch common to all: from the latest
// of their first frames (where the line began, if it began in the window;
// frames that noise let through before it count for nothing), at least the
// last few seconds. Stretches of their own would favour whichever framed
// last, not best.
// How far the discriminator agrees with a frame, 0..1. The demodulator
// decides the data bits from the signal under either polarity, and its
// flywheel reads frames through fades whatever the signal holds there:
// start (space) and stop (mark) are what a wrong polarity or a frame read
// blind get wrong. The data bits catch half the speed, where a slot spans
// two bits and often a transition.
double frameAgreement(const als::Discriminator& d, const FrameEvent& frame, double bit, bool inverted)
{
    // Mean over the middle half of a slot: +1 when mark is on throughout.
    auto slot = [&](double centre) {
        const double first = (centre - 0.25 * bit - d.firstSample) / d.samplesPerValue;
        const double last = (centre + 0.25 * bit - d.firstSample) / d.samplesPerValue;
        if (first < 0.0 || last >= double(d.values.size()))
            return 0.0;
        double sum = 0.0;
        for (auto i = size_t(first); i <= size_t(last); ++i)
            sum += d.values[i];
        return sum / double(size_t(last) - size_t(first) + 1) * (inverted ? -1.0 : 1.0);
    };
    const double startStop = std::clamp(0.5 * (slot(frame.startSample + 6.5 * bit) - slot(frame.startSample + 0.5 * bit)), 0.0, 1.0);
    double data = 0.0;
    for (int i = 0; i < 5; ++i)
        data += std::clamp(slot(frame.startSample + (i + 1.5) * bit) * (((frame.code >> i) & 1) ? 1.0 : -1.0), 0.0, 1.0);
    return startStop * data / 5.0;
}

void judgeQuality(std::vector<Hypothesis>& tried, double sampleRate, size_t sampleCount, const als::Discriminator& d)
{
    double from = 0.0;
    for (const Hypothesis& h : tried)
        if (h.events.size() >= 3)
            from = std::max(from, h.events.front().startSample);
    from = std::clamp(from, 0.0, std::max(0.0, double(sampleCount) - kLeastJudgedSeconds * sampleRate));
    const double judgedSeconds = (double(sampleCount) - from) / sampleRate;
    for (Hypothesis& h : tried) {
        double sum = 0.0, agreed = 0.0;
        const double bit = sampleRate / h.parameters.baud;
        for (size_t i = 0; i < h.events.size(); ++i)
            if (h.events[i].startSample >= from) {
                sum += h.weights[i];
                agreed += h.weights[i] * frameAgreement(d, h.events[i], bit, h.parameters.inverted);
            }
        const double characters = judgedSeconds * h.parameters.baud / 7.5;
        h.quality = characters > 0 ? sum / characters : 0.0;
        h.agreed = characters > 0 ? agreed / characters : 0.0;
    }
}

}  // namespace

const char* alsSeenName(AlsSeen seen)
{
    switch (seen) {
    case AlsSeen::Nothing: return "nothing";
    case AlsSeen::Silence: return "silence";
    case AlsSeen::Noise: return "noise";
    case AlsSeen::NoiseBursts: return "noise bursts";
    case AlsSeen::Carrier: return "a carrier";
    case AlsSeen::UnkeyedTones: return "unkeyed tones";
    case AlsSeen::Tones: return "FSK tones";
    case AlsSeen::Line: return "a line";
    }
    return "";
}

AutoLineSearch::AutoLineSearch(double sampleRate, double windowSeconds)
    : sampleRate_(sampleRate), windowSamples_(static_cast<size_t>(windowSeconds * sampleRate)),
      stepSamples_(static_cast<size_t>(kLookEverySeconds * sampleRate)),
      firstLookSamples_(static_cast<size_t>(std::min(kFirstLookSeconds, windowSeconds) * sampleRate))
{
    result_.reason = mostLikeALine_.reason = "still listening";
}

size_t AutoLineSearch::samplesBeforeLook() const
{
    // A look every two seconds, and one as the window first fills.
    auto nextLook = lastLook_ == 0 ? int64_t(firstLookSamples_) : lastLook_ + int64_t(stepSamples_);
    if (lastLook_ < int64_t(windowSamples_) && nextLook > int64_t(windowSamples_))
        nextLook = int64_t(windowSamples_);
    return size_t(nextLook - heard_);
}

void AutoLineSearch::process(const float* samples, size_t n)
{
    while (n > 0) {
        // Up to the next look, so that the looks do not depend on how the audio is cut.
        const size_t before = samplesBeforeLook();
        const size_t take = std::min(n, before);
        window_.insert(window_.end(), samples, samples + take);
        if (window_.size() > windowSamples_)
            window_.erase(window_.begin(), window_.end() - long(windowSamples_));
        heard_ += int64_t(take);
        samples += take;
        n -= take;
        if (take == before)
            analyse();
    }
}

void AutoLineSearch::finish()
{
    if (heard_ > lastLook_)
        analyse();
}

void AutoLineSearch::analyse()
{
    lastLook_ = heard_;
    AlsResult found = measure(window_.size() >= windowSamples_, 0.0, 0.0, std::numeric_limits<double>::infinity());
    found.secondsUsed = double(heard_) / sampleRate_;
    found.fromSeconds = double(heard_ - int64_t(window_.size())) / sampleRate_;
    if (found.determined || (!mostLikeALine_.determined && found.seen >= mostLikeALine_.seen))
        mostLikeALine_ = found;
    mostLikeALine_.secondsUsed = found.secondsUsed;
    if (found.determined) {
        ++measurements_;
        result_ = found;
    } else if (!result_.determined) {
        result_ = found;
    }
}

AlsResult AutoLineSearch::measureNear(double lowToneHz, double highToneHz, double reachHz) const
{
    AlsResult found = measure(window_.size() >= windowSamples_, lowToneHz, highToneHz, reachHz);
    found.secondsUsed = double(lastLook_) / sampleRate_;
    found.fromSeconds = double(lastLook_ - int64_t(window_.size())) / sampleRate_;
    return found;
}

AlsResult AutoLineSearch::measure(bool windowFull, double lowToneHz, double highToneHz, double reachHz) const
{
    const std::vector<float>& samples = window_;
    AlsResult result;
    const als::Spectrum spectrum = als::welchSpectrum(samples, sampleRate_);
    std::string reason;
    als::Seen seen = als::Seen::Nothing;
    std::vector<als::TonePair> pairs = als::findTonePairs(samples, sampleRate_, spectrum, reason, seen);
    std::erase_if(pairs, [&](const als::TonePair& pair) {
        return std::fabs(pair.lowHz - lowToneHz) > reachHz || std::fabs(pair.highHz - highToneHz) > reachHz;
    });
    // Near a given line, the keyed pair closest to its tones is the one to
    // frame first: a steady carrier beside one of them keys against the
    // other tone too, and can look the better keyed.
    if (std::isfinite(reachHz))
        std::stable_sort(pairs.begin(), pairs.end(), [&](const als::TonePair& a, const als::TonePair& b) {
            return std::fabs(a.lowHz - lowToneHz) + std::fabs(a.highHz - highToneHz)
                   < std::fabs(b.lowHz - lowToneHz) + std::fabs(b.highHz - highToneHz);
        });
    if (pairs.empty() && reason.empty()) {
        reason = "no keyed pair of tones near " + std::to_string(std::lround(lowToneHz)) + " and "
                 + std::to_string(std::lround(highToneHz)) + " Hz";
        seen = als::Seen::Tones;
    }
    result.seen = static_cast<AlsSeen>(seen);
    if (pairs.empty()) {
        result.reason = reason;
        // Clicks and crashes spread over the whole band: no peaks, a raised floor.
        if (seen == als::Seen::Noise && als::burstShare(samples, sampleRate_) > 0.002) {
            result.seen = AlsSeen::NoiseBursts;
            result.reason = "noise bursts (clicks or crashes), no signal between them";
        }
        return result;
    }

    // The best-keyed pair. Every speed is framed: on a weak or fluttering
    // signal the transitions' intervals can miss the right one.
    const als::TonePair& tones = pairs.front();
    const als::Keying keying = als::keying(samples, sampleRate_, tones);
    // Close shifts: the search for one tone must not reach the other.
    const double toneSearch = std::min(kToneSearchHz, 0.4 * (tones.highHz - tones.lowHz));
    const double low = als::refineTone(samples, sampleRate_, keying.lowRuns, tones.lowHz, toneSearch);
    const double high = als::refineTone(samples, sampleRate_, keying.highRuns, tones.highHz, toneSearch);

    std::vector<Hypothesis> tried;
    for (double baud : kAllBauds) {
        for (bool inverted : {false, true}) {
            RttyParameters parameters;
            parameters.baud = baud;
            parameters.centreHz = 0.5 * (low + high);
            parameters.shiftHz = high - low;
            parameters.inverted = inverted;
            tried.push_back(tryHypothesis(samples, sampleRate_, parameters));
        }
    }
    judgeQuality(tried, sampleRate_, samples.size(), als::discriminator(samples, sampleRate_, low, high));
    std::sort(tried.begin(), tried.end(), [](const Hypothesis& a, const Hypothesis& b) { return a.agreed > b.agreed; });
    const Hypothesis& best = tried.front();
    const double runnerUp = tried.size() > 1 ? tried[1].agreed : 0.0;

    // Until the window is full, only a clear lead over enough characters; then a lead.
    const bool clear = best.frames >= 20 && best.quality >= 0.5 && best.agreed >= 1.5 * runnerUp;
    const bool enough = best.frames >= 10 && best.quality >= 0.35 && best.agreed >= 1.2 * runnerUp;
    if (clear || (windowFull && enough)) {
        // The tones once more, now from the framed bits.
        std::vector<std::pair<size_t, size_t>> markRuns, spaceRuns;
        toneRuns(best, sampleRate_, samples.size(), markRuns, spaceRuns);
        const double finalSearch = std::min(kFinalSearchHz, toneSearch);
        const double mark = als::refineTone(samples, sampleRate_, markRuns, best.parameters.markHz(), finalSearch);
        const double space = als::refineTone(samples, sampleRate_, spaceRuns, best.parameters.spaceHz(), finalSearch);
        result.determined = true;
        result.seen = AlsSeen::Line;
        result.centreHz = 0.5 * (mark + space);
        result.shiftHz = std::fabs(mark - space);
        result.baud = best.parameters.baud;
        result.inverted = best.parameters.inverted;
        return result;
    }
    result.reason = best.quality < 0.35 ? "FSK tones found, but no characters frame at any speed"
                                        : "no speed and polarity frames clearly better than another";
    return result;
}

}  // namespace rtty

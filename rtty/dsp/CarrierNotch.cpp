#include "rtty/dsp/CarrierNotch.h"
#include "rtty/dsp/HannSegments.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace rtty {

namespace {

// Segments follow one another without overlap: half the transforms of
// half-overlapping ones, and a carrier's line is no weaker for it.
constexpr double kAverageSegments = 5.0;  // about 2.5 s
constexpr double kFirstSegments = 2.0;
// A line stands this far over the median of the bins 12-48 Hz either side
// (a keyed carrier's own sidebands stay below it); once notched, it keeps
// its notch while it stands a third as high.
constexpr double kNewLine = 30.0;
constexpr double kKeptLine = 10.0;
constexpr int kLineBins = 2;  // either side of the peak: a Hann window's main lobe
// The median's bins either side, in Hz.
constexpr double kFloorNearHz = 12.0, kFloorFarHz = 48.0;
// A line one shift from another holding this share of its power may be
// the signal's own other tone.
constexpr double kPartnerShare = 0.1;
constexpr double kLowestHz = 100.0;
// The notch's width against its distance from the nearer tone: a quarter
// of it takes a tone's level down by under 0.3 dB.
constexpr double kWidthShare = 0.25;
constexpr double kLeastWidthHz = 6.0, kMostWidthHz = 30.0;
// A line is notched only where it leaks into a tone's filter at more than
// this share of the stronger tone's power: at the nulls of a one-bit
// filter (whole bauds away) a steady carrier leaks nothing, and there a
// notch would only add its own ringing at each key edge of a CW station.
constexpr double kLeakageShare = 0.01;
// Segments (half a second each) a line may be missing from the newest one
// before its notch goes.
constexpr int kAbsentSegments = 2;
// A notch is moved when its line has moved this far: a notch 30 Hz wide
// and 0.25 Hz off still takes a carrier down by 35 dB.
constexpr double kRetuneHz = 0.25;

}  // namespace

CarrierNotch::CarrierNotch(double sampleRate, double shiftHz, double baud)
    : sampleRate_(sampleRate), shiftHz_(std::fabs(shiftHz)), baud_(baud)
{
    length_ = HannSegments::lengthFor(sampleRate, kSegmentSeconds);
    binHz_ = sampleRate / double(length_);
    power_.assign(length_ / 2 + 1, 0.0);
    latest_.assign(length_ / 2 + 1, 0.0);
}

CarrierNotch::~CarrierNotch() = default;

void CarrierNotch::analyse(const float* samples, std::size_t n, double markHz, double spaceHz)
{
    if (!ownSegments_)
        ownSegments_ = std::make_unique<HannSegments>(sampleRate_, kSegmentSeconds, 1.0);
    ownSegments_->append(samples, n);
    while (ownSegments_->transformNext())
        analyseTransform(ownSegments_->transform(), markHz, spaceHz);
}

void CarrierNotch::analyseTransform(const float* transform, double markHz, double spaceHz)
{
    segments_ += 1.0;
    const double alpha = 1.0 / std::min(segments_, kAverageSegments);
    for (std::size_t k = 0; k < power_.size(); ++k) {
        const double re = transform[2 * k], im = transform[2 * k + 1];
        latest_[k] = re * re + im * im;
        power_[k] += alpha * (latest_[k] - power_[k]);
    }
    if (segments_ < kFirstSegments)
        return;
    const std::vector<Line> lines = findLines(markHz, spaceHz);
    std::vector<Notch> kept;
    for (const Line& line : lines) {
        if (kept.size() == kMostNotches)
            break;
        const double distance = std::min(std::fabs(line.hz - markHz), std::fabs(line.hz - spaceHz));
        const double width = std::clamp(kWidthShare * distance, kLeastWidthHz, kMostWidthHz);
        auto near = std::find_if(notches_.begin(), notches_.end(), [&](const Notch& notch) {
            return std::fabs(notch.hz - line.hz) < std::max(notch.widthHz, 3.0 * binHz_);
        });
        if (near != notches_.end()) {
            Notch notch = *near;  // its memory goes on
            // A carrier switched off loses its notch within a second, not
            // when the average has forgotten it; a CW station's pauses
            // between words are shorter.
            notch.absent = line.present ? 0 : notch.absent + 1;
            notches_.erase(near);
            if (notch.absent >= kAbsentSegments)
                continue;
            if (std::fabs(notch.hz - line.hz) > kRetuneHz || std::fabs(notch.widthHz - width) > 0.1 * width)
                setNotch(notch, line.hz, width);
            kept.push_back(notch);
        } else if (line.power >= kNewLine && line.present) {
            Notch notch;
            setNotch(notch, line.hz, width);
            kept.push_back(notch);
        }
    }
    notches_ = std::move(kept);
}

double CarrierNotch::localFloor(std::size_t bin)
{
    const auto nearBins = static_cast<std::size_t>(std::ceil(kFloorNearHz / binHz_));
    const auto farBins = static_cast<std::size_t>(std::ceil(kFloorFarHz / binHz_));
    scratch_.clear();
    for (std::size_t d = nearBins; d <= farBins; ++d) {
        if (bin >= d)
            scratch_.push_back(power_[bin - d]);
        if (bin + d < power_.size())
            scratch_.push_back(power_[bin + d]);
    }
    if (scratch_.empty())
        return 0.0;
    auto middle = scratch_.begin() + long(scratch_.size() / 2);
    std::nth_element(scratch_.begin(), middle, scratch_.end());
    return *middle;
}

// Lines that might be kept, strongest first; `power` is the line's height
// over the floor beside it.
std::vector<CarrierNotch::Line> CarrierNotch::findLines(double markHz, double spaceHz)
{
    std::vector<Line> lines;
    const auto first = std::max<std::size_t>(kLineBins + 1, static_cast<std::size_t>(kLowestHz / binHz_));
    const std::size_t last = power_.size() - 1 - std::size_t(kLineBins) - 1;
    // The tones' main lobes reach a baud either side; a mistuned signal's
    // tones stand as lines too, one shift apart.
    const double guard = baud_ + 2.0 * binHz_;
    auto bandPower = [&](double centreHz, double halfHz) {
        double sum = 0.0;
        const long from = std::max(0L, std::lround((centreHz - halfHz) / binHz_));
        const long to = std::min(long(power_.size()) - 1, std::lround((centreHz + halfHz) / binHz_));
        for (long j = from; j <= to; ++j)
            sum += power_[std::size_t(j)];
        return sum;
    };
    const double tonePower = std::max(bandPower(markHz, 0.5 * baud_), bandPower(spaceHz, 0.5 * baud_));
    // A one-bit boxcar's response to a tone `offset` from its own.
    auto leakage = [&](double offsetHz) {
        const double x = std::numbers::pi * offsetHz / baud_;
        return std::sin(x) / x;
    };
    // A bin far from both tones leaks too little to pass the test below
    // unless it is very strong: beyond the distance at which even the
    // strongest bin would fail it (with a margin), no bin is looked at.
    double strongest = 0.0;
    for (std::size_t k = first; k <= last; ++k)
        strongest = std::max(strongest, power_[k]);
    double reachHz = std::numeric_limits<double>::infinity();
    if (tonePower > 0.0)
        reachHz = 1.001 * baud_ / std::numbers::pi * std::sqrt((2 * kLineBins + 1) * strongest / (kLeakageShare * tonePower))
                  + 2.0 * binHz_;
    const double lowHz = std::min(markHz, spaceHz), highHz = std::max(markHz, spaceHz);
    for (std::size_t k = first; k <= last; ++k) {
        const double peak = power_[k];
        if (!(peak > power_[k - 1] && peak >= power_[k + 1]) || peak <= 0.0) {
            // Out of reach of both tones: on to where the next one's reach begins.
            const double hz = double(k) * binHz_;
            if (hz > lowHz + reachHz && hz < highHz - reachHz)
                k = std::max(k, static_cast<std::size_t>((highHz - reachHz) / binHz_));
            else if (hz < lowHz - reachHz)
                k = std::max(k, static_cast<std::size_t>((lowHz - reachHz) / binHz_));
            else if (hz > highHz + reachHz)
                break;
            continue;
        }
        const double hz = double(k) * binHz_;
        if (std::fabs(hz - markHz) < guard || std::fabs(hz - spaceHz) < guard)
            continue;
        // What the line could leak at most (its bins all as high as the
        // peak, the filters' sidelobes at their envelope): most bins are
        // ruled out here, before the median.
        const double leakAtPeak = std::min(1.0, baud_ / (std::numbers::pi * std::min(std::fabs(hz - markHz), std::fabs(hz - spaceHz))));
        if ((2 * kLineBins + 1) * peak * leakAtPeak * leakAtPeak < kLeakageShare * tonePower)
            continue;
        const double floor = localFloor(k);
        if (!(peak > kKeptLine * floor))
            continue;
        double latest = 0.0;
        for (int d = -kLineBins; d <= kLineBins; ++d)
            latest = std::max(latest, latest_[k + d]);
        double sum = 0.0, moment = 0.0;
        for (int d = -kLineBins; d <= kLineBins; ++d) {
            sum += power_[k + d];
            moment += d * power_[k + d];
        }
        const double lineHz = (double(k) + moment / sum) * binHz_;
        const double leak = std::max(std::fabs(leakage(lineHz - markHz)), std::fabs(leakage(lineHz - spaceHz)));
        if (sum * leak * leak < kLeakageShare * tonePower)
            continue;
        auto strongestNear = [&](double atHz) {
            const double at = atHz / binHz_;
            double most = 0.0;
            for (long j = std::lround(at) - 3; j <= std::lround(at) + 3; ++j)
                if (j >= 0 && j < long(power_.size()))
                    most = std::max(most, power_[std::size_t(j)]);
            return most;
        };
        if (std::max(strongestNear(lineHz - shiftHz_), strongestNear(lineHz + shiftHz_)) > kPartnerShare * peak)
            continue;
        lines.push_back({lineHz, floor > 0.0 ? peak / floor : kNewLine, latest > kKeptLine * floor});
    }
    std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return a.power > b.power; });
    return lines;
}

void CarrierNotch::setNotch(Notch& notch, double hz, double widthHz) const
{
    notch.hz = hz;
    notch.widthHz = widthHz;
    const double w0 = 2.0 * std::numbers::pi * hz / sampleRate_;
    const double alpha = std::sin(w0) * widthHz / (2.0 * hz);  // sin(w0) / 2Q, Q = hz / width
    const double a0 = 1.0 + alpha;
    notch.gain = 1.0 / a0;
    notch.b1 = -2.0 * std::cos(w0) / a0;
    notch.a1 = notch.b1;
    notch.a2 = (1.0 - alpha) / a0;
}

void CarrierNotch::filter(const float* in, float* out, std::size_t n)
{
    if (notches_.empty()) {
        if (out != in)
            std::copy(in, in + n, out);
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        double x = in[i];
        for (Notch& s : notches_) {
            const double y = s.gain * x + s.z1;
            s.z1 = s.b1 * x - s.a1 * y + s.z2;
            s.z2 = s.gain * x - s.a2 * y;
            x = y;
        }
        out[i] = static_cast<float>(x);
    }
}

void CarrierNotch::clearMemory()
{
    for (Notch& notch : notches_)
        notch.z1 = notch.z2 = 0.0;
}

}  // namespace rtty

#include "IdealTimingDetector.h"

#include "rtty/dsp/Baudot.h"
#include "rtty/dsp/RttyDemodulator.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace bench {

std::vector<double> characterStarts(const std::vector<float>& clean, const IdealTiming& line, double stopBits)
{
    rtty::RttyParameters parameters;
    parameters.baud = line.baud;
    parameters.shiftHz = std::fabs(line.markHz - line.spaceHz);
    parameters.centreHz = 0.5 * (line.markHz + line.spaceHz);
    parameters.inverted = line.markHz < line.spaceHz;
    parameters.stopBits = stopBits;
    rtty::RttyDemodulator demodulator(line.sampleRate, parameters);
    std::vector<double> starts;
    demodulator.setFrameObserver([&](const rtty::FrameEvent& event) { starts.push_back(event.startSample); });
    std::string ignored;
    demodulator.process(clean.data(), clean.size(), ignored);
    const std::vector<float> silence(static_cast<size_t>(line.sampleRate), 0.0f);
    demodulator.process(silence.data(), silence.size(), ignored);
    return starts;
}

std::string idealDecode(const std::vector<float>& received, const std::vector<double>& starts, const IdealTiming& line)
{
    const double bit = line.sampleRate / line.baud;
    auto toneEnergy = [&](double from, double toneHz) {
        std::complex<double> sum;
        const auto first = static_cast<long>(std::ceil(from)), last = static_cast<long>(std::ceil(from + bit));
        for (long n = std::max(first, 0L); n < last && n < static_cast<long>(received.size()); ++n) {
            const double seconds = double(n) / line.sampleRate;
            const double offset = line.offsetHz + line.driftHzPerMinute * seconds / 120.0;  // phase of a linear ramp
            sum += double(received[size_t(n)]) * std::polar(1.0, -2.0 * std::numbers::pi * (toneHz + offset) * seconds);
        }
        return std::norm(sum);
    };
    return decodeCharacters(starts, line,
                            [&](double from) { return toneEnergy(from, line.markHz) > toneEnergy(from, line.spaceHz); });
}

std::string decodeCharacters(const std::vector<double>& starts, const IdealTiming& line,
                             const std::function<bool(double bitStart)>& isMark)
{
    const double bit = line.sampleRate / line.baud;
    rtty::baudot::Decoder decoder(true);
    std::string text;
    for (double start : starts) {
        uint8_t code = 0;
        for (int b = 0; b < 5; ++b)
            if (isMark(start + (b + 1) * bit))
                code |= static_cast<uint8_t>(1u << b);
        decoder.decode(code, text);
    }
    return text;
}

}  // namespace bench

#include "TestSignals.h"

#include "rtty/signal/BulletinText.h"

#include <algorithm>

namespace rtty::testing {

double characterErrorRate(const std::string& reference, const std::string& decoded)
{
    std::vector<size_t> previous(decoded.size() + 1), current(decoded.size() + 1);
    for (size_t j = 0; j <= decoded.size(); ++j)
        previous[j] = j;
    for (size_t i = 1; i <= reference.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= decoded.size(); ++j)
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1,
                                   previous[j - 1] + (reference[i - 1] == decoded[j - 1] ? 0 : 1)});
        std::swap(previous, current);
    }
    return reference.empty() ? (decoded.empty() ? 0.0 : 1.0)
                             : static_cast<double>(previous[decoded.size()]) / static_cast<double>(reference.size());
}

std::string decodeAll(const std::vector<float>& samples, double sampleRate, const RttyParameters& parameters,
                      size_t blockSize, std::vector<FrameEvent>* frames)
{
    RttyDemodulator demodulator(sampleRate, parameters);
    if (frames)
        demodulator.setFrameObserver([frames](const FrameEvent& event) { frames->push_back(event); });
    std::string text;
    for (size_t i = 0; i < samples.size(); i += blockSize)
        demodulator.process(samples.data() + i, std::min(blockSize, samples.size() - i), text);
    const std::vector<float> silence(static_cast<size_t>(sampleRate), 0.0f);
    demodulator.process(silence.data(), silence.size(), text);
    return text;
}

std::string bulletinText(size_t length, unsigned seed)
{
    BulletinText bulletins(seed);
    std::string text;
    while (text.size() < length)
        text += bulletins.next();
    text.resize(length);
    return text;
}

}  // namespace rtty::testing

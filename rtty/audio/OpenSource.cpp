#include "rtty/audio/AudioSource.h"
#include "rtty/signal/BulletinText.h"
#include "rtty/audio/DemoSource.h"
#include "rtty/audio/RawSource.h"
#include "rtty/dsp/RttyParameters.h"
#include "rtty/audio/SampleSource.h"
#include "rtty/audio/UdpSource.h"
#include "rtty/audio/WavSource.h"

#include <cstdlib>
#include <memory>
#include <optional>

namespace rtty {

namespace {

struct StreamFormat {
    double sampleRate = 0.0;
    PcmFormat format = PcmFormat::S16LE;
};

// "12000", "12000,s16le", "48000,f32le"; an error text for anything else.
std::optional<StreamFormat> parseStreamFormat(const std::string& text, std::string& error)
{
    const size_t comma = text.find(',');
    const std::string rate = text.substr(0, comma);
    StreamFormat parsed;
    char* end = nullptr;
    parsed.sampleRate = std::strtod(rate.c_str(), &end);
    if (rate.empty() || *end != '\0' || parsed.sampleRate != static_cast<long>(parsed.sampleRate)
        || parsed.sampleRate < limits::kMinSampleRate || parsed.sampleRate > limits::kMaxSampleRate) {
        error = "the sample rate must be a whole number of Hz from 8000 to 192000, not '" + rate + "'";
        return std::nullopt;
    }
    if (comma != std::string::npos) {
        const std::string format = text.substr(comma + 1);
        if (format == "s16le")
            parsed.format = PcmFormat::S16LE;
        else if (format == "f32le")
            parsed.format = PcmFormat::F32LE;
        else {
            error = "unknown sample format '" + format + "' (s16le or f32le)";
            return std::nullopt;
        }
    }
    return parsed;
}

std::unique_ptr<SampleSource> openRaw(const std::string& location, const SourceOptions& options, std::string& error)
{
    // The path may hold '@' itself: the format follows the last one.
    const size_t at = location.rfind('@');
    if (at == std::string::npos || at == 0) {
        error = "raw:" + location + ": give the path and the sample rate, raw:PATH@RATE[,s16le|f32le]";
        return nullptr;
    }
    const auto format = parseStreamFormat(location.substr(at + 1), error);
    if (!format) {
        error = "raw:" + location + ": " + error;
        return nullptr;
    }
    auto source = std::make_unique<RawSource>(location.substr(0, at), format->sampleRate, format->format, options.loop);
    if (!source->isOpen()) {
        error = source->errorText();
        return nullptr;
    }
    return source;
}

std::unique_ptr<SampleSource> openUdp(const std::string& location, std::string& error)
{
    StreamFormat format{48000.0, PcmFormat::S16LE};
    std::string where = location;
    if (const size_t at = location.rfind('@'); at != std::string::npos) {
        const auto given = parseStreamFormat(location.substr(at + 1), error);
        if (!given) {
            error = "udp:" + location + ": " + error;
            return nullptr;
        }
        format = *given;
        where = location.substr(0, at);
    }
    // [ADDR:]PORT, with an IPv6 address in brackets.
    std::string address;
    std::string port = where;
    if (const size_t colon = where.rfind(':'); colon != std::string::npos) {
        address = where.substr(0, colon);
        port = where.substr(colon + 1);
        if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
            address = address.substr(1, address.size() - 2);
    }
    char* end = nullptr;
    const long number = std::strtol(port.c_str(), &end, 10);
    if (port.empty() || *end != '\0' || number < 0 || number > 65535) {
        error = "udp:" + location + ": the port must be a number from 0 to 65535, not '" + port + "'";
        return nullptr;
    }
    auto source = std::make_unique<UdpSource>(address, int(number), format.sampleRate, format.format);
    if (!source->isOpen()) {
        error = source->errorText();
        return nullptr;
    }
    return source;
}

}  // namespace

std::unique_ptr<SampleSource> openSource(const std::string& description, const SourceOptions& options, std::string& error)
{
    if (description.rfind("wav:", 0) == 0) {
        auto source = std::make_unique<WavSource>(description.substr(4), options.loop, options.realTime);
        if (!source->isOpen()) {
            error = source->errorText();
            return nullptr;
        }
        return source;
    }
    if (description.rfind("raw:", 0) == 0)
        return openRaw(description.substr(4), options, error);
    if (description.rfind("udp:", 0) == 0)
        return openUdp(description.substr(4), error);
    if (description.rfind("audio:", 0) == 0)
        return openAudioSource(description.substr(6), error);
    if (description == "demo") {
        DemoOptions demo;
        demo.realTime = options.realTime;
        auto bulletins = std::make_shared<BulletinText>();
        return std::make_unique<DemoSource>(demo, [bulletins] { return bulletins->next(); });
    }
    error = "unknown source '" + description
          + "' (expected wav:PATH, raw:PATH@RATE[,FORMAT], udp:[ADDR:]PORT, audio:DEVICE or demo)";
    return nullptr;
}

}  // namespace rtty

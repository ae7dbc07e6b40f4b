// rtty-bench-tool: the small jobs of the RTTY benchmark.
//   text CHARS SEED [KIND]     bulletin text (LF line ends) on standard output;
//                              KIND plain or runs for other text (BenchText.h)
//   noise IN OUT SNR_DB SEED   adds white noise at an SNR in 3 kHz, writes float WAV
//   channel NAME IN OUT SNR_DB SEED CENTRE SHIFT
//                              the named HF channel (white, flat, moderate, poor,
//                              flutter, selective, offset, impulse, ..., and the
//                              numbered conditions joined with '+' of
//                              hfchannel::channelPreset), then white noise; the
//                              SNR is against the clean input's power
//   ideal CLEAN RECEIVED BAUD SHIFT CENTRE OFFSET_HZ DRIFT_HZ_PER_MIN
//                              the ideal-timing detector's text (IdealTimingDetector.h)
//   bound NAME CLEAN RECEIVED BAUD SHIFT CENTRE SNR_DB SEED
//                              the tone-aware bound's text (ToneAwareBound.h): the
//                              ideal timing plus the tones' gains of the channel
//                              that `channel` applied with the same arguments
//   frames FILE BAUD SHIFT CENTRE  every framed character: time, code, score,
//                              least data-bit |LLR|, squelch, slot SNR, text so far
//   demod FILE BAUD SHIFT CENTRE  the demodulator's text alone, without the
//                              command line's check that the line fits
//   cer REFERENCE DECODED      character error rate after folding the
//                              US/ITA2 figure pairs and dropping CR
//   crossing SNR:CER...        SNR at which the CER falls to 1 %
//   first-crossing SNR:CER...  the same between the two points either side of the
//                              lowest SNR from which the CER stays at or below 1 %
//                              (for fading curves, whose floors are uneven)
//   seconds FILE               length of a sound file in seconds
//   live MINUTES               the demo broadcast through the demodulator in
//                              10 ms blocks: text latency and memory use

#include "BenchText.h"
#include "IdealTimingDetector.h"
#include "ToneAwareBound.h"

#include "rtty/signal/BulletinText.h"
#include "rtty/audio/DemoSource.h"
#include "rtty/dsp/RttyDemodulator.h"
#include "rtty/signal/FskModulator.h"
#include "rtty/audio/WavSource.h"
#include "rtty/audio/WavWriter.h"
#include "rtty/channel/HfChannel.h"
#include "rtty/channel/ToneGains.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string readFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// minimodem sends and prints the US figures ';' and '"' on the keys that
// carry '=' and '+' in ITA2; both sides are compared in ITA2.
std::string fold(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\r')
            continue;
        out.push_back(c == ';' ? '=' : c == '"' ? '+' : c);
    }
    return out;
}

size_t levenshtein(const std::string& a, const std::string& b)
{
    std::vector<size_t> previous(b.size() + 1), current(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        previous[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= b.size(); ++j)
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (a[i - 1] != b[j - 1])});
        std::swap(previous, current);
    }
    return previous[b.size()];
}

int text(int chars, unsigned seed, const std::string& kind)
{
    const std::string out = bench::benchText(kind, chars, seed);
    if (out.empty()) {
        std::cerr << "unknown text \"" << kind << "\"; the kinds are: bulletin plain runs\n";
        return 2;
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

bool readWav(const char* path, std::vector<float>& samples, double& sampleRate)
{
    rtty::WavSource source(path, false, false);
    if (!source.isOpen()) {
        std::cerr << source.errorText() << "\n";
        return false;
    }
    std::vector<float> block(65536);
    while (size_t got = source.read(block.data(), block.size()))
        samples.insert(samples.end(), block.begin(), block.begin() + long(got));
    sampleRate = source.sampleRate();
    return true;
}

double meanPower(const std::vector<float>& samples)
{
    double power = 0.0;
    for (float s : samples)
        power += double(s) * s;
    return power / double(std::max<size_t>(samples.size(), 1));
}

int writeFloatWav(const char* out, const std::vector<float>& samples, double sampleRate)
{
    const std::string error = rtty::writeWav(out, samples, int(sampleRate), rtty::WavFormat::Float32);
    if (!error.empty()) {
        std::cerr << error << "\n";
        return 1;
    }
    return 0;
}

int noise(const char* in, const char* out, double snrDb, unsigned seed)
{
    std::vector<float> samples;
    double rate = 0;
    if (!readWav(in, samples, rate))
        return 1;
    rtty::NoiseAdder(rate, meanPower(samples), snrDb, seed).add(samples.data(), samples.size());
    return writeFloatWav(out, samples, rate);
}

int channel(const std::string& name, const char* in, const char* out, double snrDb, unsigned seed, double centre,
            double shift)
{
    std::vector<float> samples;
    double rate = 0;
    if (!readWav(in, samples, rate))
        return 1;
    // Silence (a channel with nothing but its own noise) is measured against the encoder's level.
    const double power = meanPower(samples) > 0.0 ? meanPower(samples) : 0.125;
    auto settings = hfchannel::channelPreset(name, rate, power, centre, shift, seed);
    if (!settings) {
        std::cerr << "unknown channel \"" << name << "\"; the channels are:";
        for (const std::string& known : hfchannel::channelPresetNames())
            std::cerr << " " << known;
        std::cerr << "\n";
        return 2;
    }
    settings->snrDb = snrDb;
    hfchannel::HfChannel(*settings).applyAligned(samples);
    return writeFloatWav(out, samples, rate);
}

// CLEAN RECEIVED BAUD SHIFT CENTRE, as `ideal` and `bound` take them.
bool readDetectorInput(char** args, std::vector<float>& clean, std::vector<float>& received, bench::IdealTiming& line)
{
    double receivedRate = 0;
    if (!readWav(args[0], clean, line.sampleRate) || !readWav(args[1], received, receivedRate))
        return false;
    line.baud = std::atof(args[2]);
    const double shift = std::atof(args[3]), centre = std::atof(args[4]);
    line.markHz = centre + shift / 2;
    line.spaceHz = centre - shift / 2;
    return true;
}

int ideal(char** argv)
{
    std::vector<float> clean, received;
    bench::IdealTiming line;
    if (!readDetectorInput(argv + 2, clean, received, line))
        return 1;
    line.offsetHz = std::atof(argv[7]);
    line.driftHzPerMinute = std::atof(argv[8]);
    const std::string text = bench::idealDecode(received, bench::characterStarts(clean, line, 1.5), line);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int bound(char** argv)
{
    const std::string name = argv[2];
    std::vector<float> clean, received;
    bench::IdealTiming line;
    if (!readDetectorInput(argv + 3, clean, received, line))
        return 1;
    // The same settings as `channel` made from the same arguments.
    const double power = meanPower(clean) > 0.0 ? meanPower(clean) : 0.125;
    auto settings = hfchannel::channelPreset(name, line.sampleRate, power, std::atof(argv[7]), std::atof(argv[6]),
                                             unsigned(std::atoi(argv[9])));
    if (!settings) {
        std::cerr << "unknown channel \"" << name << "\"\n";
        return 2;
    }
    settings->snrDb = std::atof(argv[8]);
    const std::vector<double> starts = bench::characterStarts(clean, line, 1.5);
    bench::KnownChannel known;
    known.markGain = hfchannel::toneGains(*settings, line.markHz, received.size());
    known.spaceGain = hfchannel::toneGains(*settings, line.spaceHz, received.size());
    known.amplitude = bench::toneAmplitude(clean, starts, line, 1.5);
    known.noiseVariance = hfchannel::HfChannel(*settings).noiseVariance();
    const std::string text = bench::toneAwareDecode(received, starts, line, known);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

// FILE BAUD SHIFT CENTRE through the demodulator as the command line feeds it;
// `observer` sees every framed character.
std::string demodulate(char** argv, const std::function<void(const rtty::FrameEvent&, double, size_t)>& observer)
{
    std::vector<float> samples;
    double rate = 0;
    if (!readWav(argv[0], samples, rate))
        return {};
    rtty::RttyParameters parameters;
    parameters.baud = std::atof(argv[1]);
    parameters.shiftHz = std::atof(argv[2]);
    parameters.centreHz = std::atof(argv[3]);
    rtty::RttyDemodulator demodulator(rate, parameters);
    std::string text;
    if (observer)
        demodulator.setFrameObserver([&](const rtty::FrameEvent& event) { observer(event, rate, text.size()); });
    const size_t block = 4096;  // as the command line reads files
    // and, as it does, a second of silence after the end lets the last character out
    samples.resize(samples.size() + size_t(rate), 0.0f);
    for (size_t at = 0; at < samples.size(); at += block)
        demodulator.process(samples.data() + at, std::min(block, samples.size() - at), text);
    return text;
}

int frames(char** argv)
{
    const std::string text = demodulate(argv + 2, [](const rtty::FrameEvent& event, double rate, size_t printed) {
        std::printf("%9.3f s  code %2u  score %7.2f  least |LLR| %6.2f  %s  snr %6.1f  start %7.2f  stop %7.2f  printed %zu\n",
                    event.startSample / rate, unsigned(event.code), event.score, event.reliability,
                    event.printed ? "open  " : "closed", event.signalToNoise, event.startLlr, event.stopLlr, printed);
    });
    std::printf("text: %s\n", text.c_str());
    return 0;
}

int demod(char** argv)
{
    const std::string text = demodulate(argv + 2, nullptr);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int cer(const char* reference, const char* decoded)
{
    const std::string a = fold(readFile(reference)), b = fold(readFile(decoded));
    std::printf("%.5f\n", a.empty() ? 1.0 : double(levenshtein(a, b)) / double(a.size()));
    return 0;
}

// Where log10(CER) falls through 1 %: a least-squares line through all the
// points between 0.1 % and 10 %, which is steadier than the two points either
// side of 1 % (used when fewer than three points qualify).
int crossing(int count, char** points, bool fitted = true)
{
    std::vector<std::pair<double, double>> curve;
    for (int i = 0; i < count; ++i) {
        double snr = 0, rate = 0;
        if (std::sscanf(points[i], "%lf:%lf", &snr, &rate) == 2)
            curve.emplace_back(snr, rate);
    }
    std::sort(curve.begin(), curve.end());
    const double target = 0.01;
    int lowestGood = -1;
    for (int i = int(curve.size()) - 1; i >= 0 && curve[size_t(i)].second <= target; --i)
        lowestGood = i;
    if (lowestGood < 0) {
        std::printf("none\n");
        return 0;
    }
    if (lowestGood == 0) {
        std::printf("<%.1f\n", curve[0].first);
        return 0;
    }
    std::vector<std::pair<double, double>> fit;
    for (const auto& [snr, rate] : curve)
        if (rate >= 0.001 && rate <= 0.10)
            fit.emplace_back(snr, std::log10(rate));
    double estimate;
    if (fitted && fit.size() >= 3) {
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (const auto& [x, y] : fit) {
            sx += x;
            sy += y;
            sxx += x * x;
            sxy += x * y;
        }
        const double n = double(fit.size());
        const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
        const double intercept = (sy - slope * sx) / n;
        estimate = (std::log10(target) - intercept) / slope;
    } else {
        const auto [snrLow, cerLow] = curve[size_t(lowestGood - 1)];
        const auto [snrHigh, cerHigh] = curve[size_t(lowestGood)];
        const double yLow = std::log10(std::max(cerLow, 1e-5)), yHigh = std::log10(std::max(cerHigh, 1e-5));
        estimate = snrLow + (yLow - std::log10(target)) / (yLow - yHigh) * (snrHigh - snrLow);
    }
    std::printf("%.2f\n", estimate);
    return 0;
}

long residentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// Latency: from the end of a character's stop bit to the moment its text
// is out, with audio arriving in 10 ms blocks as from a sound card (the
// block wait included). Memory: resident size every ten minutes of audio.
int live(double minutes)
{
    rtty::DemoOptions options;
    options.snrDb = 6.0;
    auto bulletins = std::make_shared<rtty::BulletinText>(5);
    rtty::DemoSource demo(options, [bulletins] { return bulletins->next(); });
    rtty::RttyDemodulator demodulator(options.sampleRate, options.parameters);
    const double bit = options.sampleRate / options.parameters.baud;
    const double characterSeconds = (6.0 + options.parameters.stopBits) / options.parameters.baud;
    const size_t block = static_cast<size_t>(options.sampleRate / 100);
    std::vector<float> samples(block);
    // Filled in up front, so that the measurement does not grow the memory it measures.
    std::vector<double> latencies(static_cast<size_t>(minutes * 60.0 / characterSeconds * 1.2) + 100, 0.0);
    size_t characters = 0;
    long long blockEnd = 0;
    demodulator.setFrameObserver([&](const rtty::FrameEvent& event) {
        const double characterEnd = event.startSample + (6.0 + options.parameters.stopBits) * bit;
        if (characters < latencies.size())
            latencies[characters++] = (double(blockEnd) - characterEnd) / options.sampleRate;
    });
    std::string text;
    const auto total = static_cast<long long>(minutes * 60.0 * options.sampleRate);
    long startKb = 0, peakKb = 0;
    std::printf("| audio (min) | resident (kB) |\n|---:|---:|\n");
    while (blockEnd < total) {
        const size_t got = demo.read(samples.data(), block);
        if (got == 0)
            break;
        blockEnd += static_cast<long long>(got);
        demodulator.process(samples.data(), got, text);
        text.clear();
        const long long tenMinutes = static_cast<long long>(600.0 * options.sampleRate);
        if (blockEnd % tenMinutes < static_cast<long long>(got) || blockEnd >= total) {
            const long kb = residentKilobytes();
            if (startKb == 0)
                startKb = kb;
            peakKb = std::max(peakKb, kb);
            std::printf("| %.0f | %ld |\n", double(blockEnd) / options.sampleRate / 60.0, kb);
        }
    }
    latencies.resize(characters);
    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty()) {
        std::printf("no characters decoded\n");
        return 1;
    }
    const double median = latencies[latencies.size() / 2];
    const double worst = latencies.back();
    std::printf("\nLatency over %zu characters: median %.0f ms, worst %.0f ms; one character is %.0f ms, "
                "so the worst is %.2f character times (allowed: two characters + 100 ms).\n",
                latencies.size(), 1000 * median, 1000 * worst, 1000 * characterSeconds, worst / characterSeconds);
    std::printf("Memory: %ld kB after the first block of ten minutes, at most %ld kB over the run.\n", startKb, peakKb);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "text" && (argc == 4 || argc == 5))
        return text(std::atoi(argv[2]), unsigned(std::atoi(argv[3])), argc == 5 ? argv[4] : "bulletin");
    if (command == "noise" && argc == 6)
        return noise(argv[2], argv[3], std::atof(argv[4]), unsigned(std::atoi(argv[5])));
    if (command == "channel" && argc == 9)
        return channel(argv[2], argv[3], argv[4], std::atof(argv[5]), unsigned(std::atoi(argv[6])), std::atof(argv[7]),
                       std::atof(argv[8]));
    if (command == "ideal" && argc == 9)
        return ideal(argv);
    if (command == "bound" && argc == 10)
        return bound(argv);
    if (command == "frames" && argc == 6)
        return frames(argv);
    if (command == "demod" && argc == 6)
        return demod(argv);
    if (command == "cer" && argc == 4)
        return cer(argv[2], argv[3]);
    if (command == "seconds" && argc == 3) {
        rtty::WavSource source(argv[2], false, false);
        std::vector<float> block(65536);
        size_t total = 0;
        while (size_t got = source.read(block.data(), block.size()))
            total += got;
        std::printf("%.3f\n", source.isOpen() ? double(total) / source.sampleRate() : 0.0);
        return source.isOpen() ? 0 : 1;
    }
    if (command == "live" && argc == 3)
        return live(std::atof(argv[2]));
    if (command == "crossing")
        return crossing(argc - 2, argv + 2);
    if (command == "first-crossing")
        return crossing(argc - 2, argv + 2, false);
    std::cerr << "usage: rtty-bench-tool text CHARS SEED [KIND] | noise IN OUT SNR SEED | channel NAME IN OUT SNR SEED CENTRE SHIFT | ideal CLEAN RECEIVED BAUD SHIFT CENTRE OFFSET DRIFT | bound NAME CLEAN RECEIVED BAUD SHIFT CENTRE SNR SEED | frames FILE BAUD SHIFT CENTRE | demod FILE BAUD SHIFT CENTRE | cer REF DECODED | [first-]crossing SNR:CER... | seconds FILE | live MINUTES\n";
    return 2;
}

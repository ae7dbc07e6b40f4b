// Helper for bench/rtty/diversity.sh: one transmission as several
// receivers hear it, a majority vote of three decoded texts, and the
// latency of the combined decoder against a single one.
//
//   rtty-diversity-tool branch CLEAN.wav OUT.wav CHANNEL SNR SEED CENTRE SHIFT DELAY OFFSET LEVEL START MODE
//       CHANNEL: a channel of the HF simulator (dips20 and dips10 at a phase
//       of the seed's, so that receivers dip at times of their own); DELAY, START in
//       seconds (noise only before START); OFFSET in Hz; LEVEL a gain;
//       MODE live, dead (noise only) or silent.
//   rtty-diversity-tool vote A.txt B.txt C.txt      the majority of three texts
//   rtty-diversity-tool latency CHANNEL SNR DELAY...  character latency, combined and alone

#include "rtty/audio/WavSource.h"
#include "rtty/audio/WavWriter.h"
#include "rtty/channel/HfChannel.h"
#include "rtty/diversity/DiversityDecoder.h"
#include "rtty/dsp/RttyDemodulator.h"
#include "rtty/signal/BulletinText.h"
#include "rtty/signal/FskModulator.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool readWav(const char* path, std::vector<float>& samples, double& rate)
{
    rtty::WavSource source(path, false, false);
    if (!source.isOpen()) {
        std::cerr << source.errorText() << "\n";
        return false;
    }
    std::vector<float> block(65536);
    while (size_t got = source.read(block.data(), block.size()))
        samples.insert(samples.end(), block.begin(), block.begin() + long(got));
    rate = source.sampleRate();
    return true;
}

double meanPower(const std::vector<float>& samples, size_t from = 0)
{
    double power = 0.0;
    for (size_t i = from; i < samples.size(); ++i)
        power += double(samples[i]) * samples[i];
    return power / double(std::max<size_t>(samples.size() - from, 1));
}

int branch(char** argv)
{
    std::vector<float> samples;
    double rate = 0;
    if (!readWav(argv[2], samples, rate))
        return 1;
    const std::string channel = argv[4];
    const double snrDb = std::atof(argv[5]);
    const auto seed = unsigned(std::atoi(argv[6]));
    const double centre = std::atof(argv[7]), shift = std::atof(argv[8]);
    const double delay = std::atof(argv[9]), offset = std::atof(argv[10]), level = std::atof(argv[11]);
    const double start = std::atof(argv[12]);
    const std::string mode = argv[13];
    const double power = meanPower(samples);  // the clean signal's, the reference of the SNR

    samples.insert(samples.begin(), size_t(delay * rate), 0.0f);
    samples.resize(samples.size() + size_t(1.0 * rate), 0.0f);
    std::fill_n(samples.begin(), std::min(samples.size(), size_t((delay + start) * rate)), 0.0f);
    if (mode == "dead" || mode == "silent")
        std::fill(samples.begin(), samples.end(), 0.0f);

    auto settings = hfchannel::channelPreset(channel, rate, power, centre, shift, seed);
    if (!settings) {
        std::cerr << "unknown channel \"" << channel << "\"\n";
        return 2;
    }
    // Each receiver's dips at a time of its own: seeds one apart put them
    // 0.618 of a period apart, so that no two receivers dip together.
    settings->dip.firstAtSeconds = std::fmod(double(seed) * 0.618 * settings->dip.periodSeconds, settings->dip.periodSeconds);
    settings->offsetHz += offset;
    settings->snrDb = snrDb;
    if (mode != "silent")
        hfchannel::HfChannel(*settings).applyAligned(samples);
    for (float& x : samples)
        x *= float(level);
    const std::string error = rtty::writeWav(argv[3], samples, int(rate), rtty::WavFormat::Float32);
    if (!error.empty()) {
        std::cerr << error << "\n";
        return 1;
    }
    return 0;
}

std::string readText(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// For each character of `pivot`, the character of `other` aligned with it
// by a least-edit alignment ('\0' where `other` has none), and what
// `other` has inserted before it.
struct Aligned {
    std::vector<char> at;
    std::vector<std::string> insertedBefore;
};

Aligned align(const std::string& pivot, const std::string& other)
{
    const size_t n = pivot.size(), m = other.size();
    std::vector<std::vector<uint32_t>> cost(n + 1, std::vector<uint32_t>(m + 1));
    for (size_t i = 0; i <= n; ++i)
        cost[i][0] = uint32_t(i);
    for (size_t j = 0; j <= m; ++j)
        cost[0][j] = uint32_t(j);
    for (size_t i = 1; i <= n; ++i)
        for (size_t j = 1; j <= m; ++j)
            cost[i][j] = std::min({cost[i - 1][j] + 1, cost[i][j - 1] + 1,
                                   cost[i - 1][j - 1] + (pivot[i - 1] == other[j - 1] ? 0u : 1u)});
    Aligned result;
    result.at.assign(n + 1, '\0');
    result.insertedBefore.assign(n + 1, "");
    size_t i = n, j = m;
    while (i > 0 || j > 0) {
        if (i > 0 && j > 0 && cost[i][j] == cost[i - 1][j - 1] + (pivot[i - 1] == other[j - 1] ? 0u : 1u)) {
            result.at[i - 1] = other[j - 1];
            --i;
            --j;
        } else if (i > 0 && cost[i][j] == cost[i - 1][j] + 1) {
            --i;
        } else {
            result.insertedBefore[i].insert(result.insertedBefore[i].begin(), other[j - 1]);
            --j;
        }
    }
    return result;
}

// Character voting: the first text is the pivot; where the other two agree
// against it, they win (a character, a deletion, or an insertion).
int vote(char** argv)
{
    const std::string a = readText(argv[2]), b = readText(argv[3]), c = readText(argv[4]);
    // Texts of hours would need a banded alignment; the benchmark's are short.
    const Aligned x = align(a, b), y = align(a, c);
    std::string out;
    for (size_t i = 0; i <= a.size(); ++i) {
        if (!x.insertedBefore[i].empty() && x.insertedBefore[i] == y.insertedBefore[i])
            out += x.insertedBefore[i];
        if (i == a.size())
            break;
        if (x.at[i] == y.at[i] && x.at[i] != a[i]) {
            if (x.at[i] != '\0')
                out += x.at[i];
        } else {
            out += a[i];
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

// Character latency: from the end of each character's stop bit in the
// branch that hears it first to the block after which it comes out, in
// 10 ms blocks. The same text alone through one branch, and through
// branches delayed by DELAY... (seconds each).
int latency(int argc, char** argv)
{
    const std::string channel = argv[2];
    const double snrDb = std::atof(argv[3]);
    std::vector<double> delays;
    for (int i = 4; i < argc; ++i)
        delays.push_back(std::atof(argv[i]));
    const double rate = 8000;
    rtty::RttyParameters line;
    line.shiftHz = 450;
    line.inverted = true;
    rtty::BulletinText bulletins(5);
    std::string text;
    while (text.size() < 2000)
        text += bulletins.next();
    const std::vector<float> clean = rtty::renderText(text, rate, line);
    std::vector<std::vector<float>> audio;
    for (size_t b = 0; b < delays.size(); ++b) {
        std::vector<float> x = clean;
        x.insert(x.begin(), size_t(delays[b] * rate), 0.0f);
        x.resize(x.size() + size_t(2 * rate), 0.0f);
        auto settings = hfchannel::channelPreset(channel, rate, 0.125, line.centreHz, line.shiftHz, unsigned(10 + b));
        settings->snrDb = snrDb;
        hfchannel::HfChannel(*settings).applyAligned(x);
        audio.push_back(std::move(x));
    }
    const double characterSamples = 7.5 * rate / line.baud;
    const auto block = size_t(0.01 * rate);
    auto summarise = [&](const char* what, std::vector<double>& latencies, size_t characters) {
        std::sort(latencies.begin(), latencies.end());
        if (latencies.empty()) {
            std::printf("%s: no characters\n", what);
            return;
        }
        std::printf("%s: %zu characters, median %.0f ms, 95 %% %.0f ms, worst %.0f ms\n", what, characters,
                    1000 * latencies[latencies.size() / 2], 1000 * latencies[latencies.size() * 95 / 100],
                    1000 * latencies.back());
    };
    // Alone: the first branch, against its own audio.
    {
        rtty::RttyDemodulator demodulator(rate, line);
        std::vector<double> pending, latencies;
        demodulator.setFrameObserver([&](const rtty::FrameEvent& e) {
            if (e.printed)
                pending.push_back(e.startSample + characterSamples);
        });
        std::string out;
        for (size_t at = 0; at < audio[0].size(); at += block) {
            demodulator.process(audio[0].data() + at, std::min(block, audio[0].size() - at), out);
            for (double end : pending)
                latencies.push_back((double(at + block) - end) / rate);
            pending.clear();
        }
        summarise("one branch", latencies, latencies.size());
    }
    {
        rtty::DiversityDecoder decoder(std::vector<double>(delays.size(), rate),
                                       std::vector<rtty::RttyParameters>(delays.size(), line));
        std::vector<double> pending, latencies;
        decoder.setFrameObserver([&](const rtty::FrameEvent& e) {
            if (e.printed)
                pending.push_back(e.startSample + characterSamples);
        });
        std::string out;
        const double earliest = *std::min_element(delays.begin(), delays.end());
        for (size_t at = 0; at < audio[0].size(); at += block) {
            for (size_t b = 0; b < audio.size(); ++b)
                decoder.process(int(b), audio[b].data() + at, std::min(block, audio[b].size() - at));
            decoder.decode(out);
            // Frame times are on the first branch's clock, where the text
            // sits delays[0] late; it reached the earliest branch before.
            for (double end : pending)
                latencies.push_back((double(at + block) - end) / rate + delays[0] - earliest);
            pending.clear();
        }
        // Only once all are aligned do the figures mean the combination's.
        std::vector<double> settled(latencies.begin() + long(std::min<size_t>(latencies.size(), 200)), latencies.end());
        summarise("combined", settled, settled.size());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "branch" && argc == 14)
        return branch(argv);
    if (command == "vote" && argc == 5)
        return vote(argv);
    if (command == "latency" && argc >= 5)
        return latency(argc, argv);
    std::cerr << "usage: rtty-diversity-tool branch CLEAN.wav OUT.wav CHANNEL SNR SEED CENTRE SHIFT DELAY OFFSET LEVEL START MODE\n"
                 "       rtty-diversity-tool vote A.txt B.txt C.txt\n"
                 "       rtty-diversity-tool latency CHANNEL SNR DELAY...\n";
    return 2;
}

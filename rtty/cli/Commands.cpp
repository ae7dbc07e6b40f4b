// The decode, encode and --list-audio commands of pluvane-rtty.

#include "rtty/audio/AudioSource.h"
#include "rtty/linesearch/AutoLineSearch.h"
#include "rtty/linesearch/LineCheck.h"
#include "rtty/dsp/Baudot.h"
#include "rtty/signal/FskModulator.h"
#include "rtty/dsp/RttyDemodulator.h"
#include "rtty/audio/SampleSource.h"
#include "rtty/audio/WavWriter.h"
#include "rtty/cli/CommandLine.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <fstream>
#include <iostream>
#include <sstream>

using pluvane_rtty::CommandLine;
using pluvane_rtty::UsageError;

namespace {

constexpr int kRunError = 1;
constexpr int kWrongLine = 3;
// A live source's text waits this long at most for the line check.
constexpr double kLiveHoldSeconds = 15.0;
// The line check listens to the first minute, and after it only while the
// decoder hears a signal: an hour of noise costs it nothing.
constexpr double kCheckAlwaysSeconds = 60.0;

std::string lineText(const rtty::RttyParameters& p)
{
    char text[160];
    std::snprintf(text, sizeof text, "centre %.1f Hz, shift %.1f Hz, %g Bd, %s polarity", p.centreHz, p.shiftHz, p.baud,
                  p.inverted ? "inverted" : "normal");
    return text;
}

int reportWrongLine(const rtty::RttyParameters& set, const rtty::LineCheck& check)
{
    const rtty::AlsResult& heard = check.heard();
    char options[160];
    std::snprintf(options, sizeof options, "--baud %g --shift %.0f --centre %.0f%s", heard.baud, heard.shiftHz,
                  heard.centreHz, heard.inverted ? " --inverted" : "");
    std::cerr << "pluvane-rtty: the signal does not fit the line set (" << lineText(set) << "): heard "
              << check.describeHeard() << "; decode it with --auto, or with " << options << "\n";
    return kWrongLine;
}

std::string sourceNameFor(const std::string& argument)
{
    if (argument == "demo")
        return argument;
    for (const char* prefix : {"wav:", "raw:", "udp:", "audio:"})
        if (argument.rfind(prefix, 0) == 0)
            return argument;
    return "wav:" + argument;
}

// --raw FILE (or -) with --rate and --format: the raw: source they name.
std::string rawSourceName(const std::string& input, double rate, const std::string& format)
{
    if (rate == 0.0)
        throw UsageError("--raw needs --rate (the sample rate of the PCM)");
    if (format != "s16le" && format != "f32le")
        throw UsageError("--format must be s16le or f32le, not '" + format + "'");
    char text[64];
    std::snprintf(text, sizeof text, "@%.17g,", rate);
    return "raw:" + input + text + format;
}

// Options shared by decode and encode; returns false for an option it does not know.
bool lineOption(const std::string& option, CommandLine& line, rtty::RttyParameters& parameters)
{
    if (option == "--baud")
        parameters.baud = line.number(option);
    else if (option == "--shift")
        parameters.shiftHz = line.number(option);
    else if (option == "--centre" || option == "--center")
        parameters.centreHz = line.number(option);
    else if (option == "--inverted")
        parameters.inverted = true;
    else if (option == "--stop-bits")
        parameters.stopBits = line.number(option);
    else
        return false;
    return true;
}

void checkLine(const rtty::RttyParameters& parameters, double sampleRate)
{
    if (!(parameters.centreHz >= pluvane_rtty::kMinCentreHz && parameters.centreHz <= pluvane_rtty::kMaxCentreHz))
        throw UsageError("the centre frequency must be between 300 and 3000 Hz");
    if (const char* problem = rtty::parameterProblem(parameters, sampleRate))
        throw UsageError(problem);
}

// Listens until the line search finds the line (anywhere in the source),
// sets the parameters to it and leaves in `heard` the audio from where the
// line was found. False, with the reason on stderr, when the source ends
// (or the user stops) with no line found. `rereadFile`: the caller decodes
// the file from its start (on a weak signal the search may be sure only
// well after the line began; the squelch keeps the noise before it out).
bool searchLine(rtty::SampleSource& source, std::vector<float>& block, std::vector<float>& heard,
                rtty::RttyParameters& parameters, bool rereadFile, bool (*interrupted)())
{
    const double rate = source.sampleRate();
    rtty::AutoLineSearch search(rate);
    // A little more than the search's window: the stretch it found the line in.
    const auto keep = static_cast<size_t>(12.0 * rate);
    int64_t heardFrom = 0;  // sample number of heard[0]
    while (!search.determined() && !interrupted()) {
        const size_t got = source.read(block.data(), block.size());
        if (got == 0)
            break;
        search.process(block.data(), got);
        heard.insert(heard.end(), block.begin(), block.begin() + long(got));
        if (heard.size() > 2 * keep) {
            heardFrom += int64_t(heard.size() - keep);
            heard.erase(heard.begin(), heard.end() - long(keep));
        }
    }
    if (!search.determined())
        search.finish();
    const rtty::AlsResult& found = search.result();
    char line[200];
    if (!found.determined) {
        const rtty::AlsResult& seen = search.mostLikeALine();
        std::snprintf(line, sizeof line, "no line found in %.1f s of audio; most like one: %s", found.secondsUsed,
                      seen.reason.c_str());
        std::cerr << "pluvane-rtty: line search: " << line << "\n";
        return false;
    }
    parameters.baud = found.baud;
    parameters.shiftHz = found.shiftHz;
    parameters.centreHz = found.centreHz;
    parameters.inverted = found.inverted;
    std::snprintf(line, sizeof line, "centre %.1f Hz, shift %.1f Hz, %g Bd, %s polarity (%.1f s; decoding from %.1f s)",
                  found.centreHz, found.shiftHz, found.baud, found.inverted ? "inverted" : "normal", found.secondsUsed,
                  rereadFile ? 0.0 : found.fromSeconds);
    std::cerr << "pluvane-rtty: line search: " << line << "\n";
    const auto from = static_cast<int64_t>(found.fromSeconds * rate);
    if (from > heardFrom)
        heard.erase(heard.begin(), heard.begin() + long(std::min<int64_t>(from - heardFrom, int64_t(heard.size()))));
    return true;
}

}  // namespace

int runCombinedDecode(const std::vector<std::string>& sourceNames, rtty::RttyParameters parameters, bool automatic,
                      bool quiet, bool (*interrupted)());

int runDecode(CommandLine& line, bool (*interrupted)())
{
    rtty::RttyParameters parameters;
    bool quiet = false, automatic = false, raw = false;
    double rawRate = 0.0;
    std::string rawFormat = "s16le";
    std::string input;
    std::vector<std::string> inputs;
    while (!line.done()) {
        const std::string argument = line.next();
        if (lineOption(argument, line, parameters))
            continue;
        if (argument == "--no-unshift")
            parameters.unshiftOnSpace = false;
        else if (argument == "--quiet")
            quiet = true;
        else if (argument == "--auto")
            automatic = true;
        else if (argument == "--raw")
            raw = true;
        else if (argument == "--rate")
            rawRate = line.number(argument);
        else if (argument == "--format")
            rawFormat = line.value(argument);
        else if (argument.size() > 1 && argument[0] == '-')
            throw UsageError("unknown option '" + argument + "'");
        else
            inputs.push_back(argument);
    }
    if (inputs.empty())
        throw UsageError("decode needs a sound file or source");
    if (inputs.size() > 1) {
        // Several receivers of one broadcast, decoded as one.
        if (inputs.size() > 4)
            throw UsageError("at most four sources can be combined");
        if (raw || rawRate != 0.0 || rawFormat != "s16le")
            throw UsageError("--raw, --rate and --format describe one source; name combined raw sources as raw:PATH@RATE");
        std::vector<std::string> names;
        for (const std::string& argument : inputs) {
            if (argument == "-" || argument == "demo")
                throw UsageError("'" + argument + "' cannot be one of several combined sources");
            names.push_back(sourceNameFor(argument));
        }
        return runCombinedDecode(names, parameters, automatic, quiet, interrupted);
    }
    input = inputs.front();
    if (!raw && (rawRate != 0.0 || rawFormat != "s16le"))
        throw UsageError("--rate and --format describe raw input: give --raw too");
    if (raw && input.rfind("raw:", 0) == 0)
        throw UsageError("--raw takes a file name or -; raw:PATH@RATE needs no --raw");
    if (!raw && input == "-")
        throw UsageError("standard input is read as raw PCM: give --raw --rate R");
    const std::string sourceName = raw ? rawSourceName(input, rawRate, rawFormat) : sourceNameFor(input);

    std::string error;
    // The demo plays at the pace of a real broadcast; files go as fast as they can.
    auto source = rtty::openSource(sourceName, {false, input == "demo"}, error);
    if (!source) {
        std::cerr << "pluvane-rtty: " << error << "\n";
        return kRunError;
    }
    // Pipes, devices and the network cannot be read again from the start,
    // and their text is wanted as it comes.
    const bool live = source->waitsForInput() || input == "demo";
    if (const char* problem = rtty::parameterProblem(parameters, source->sampleRate())) {
        std::cerr << "pluvane-rtty: " << source->describe() << ": " << problem << "\n";
        return kRunError;
    }
    checkLine(parameters, source->sampleRate());

    // A pipe fed faster than real time (a recording played through sox or
    // cat) is read in larger pieces, for a quarter of the system calls; fed
    // at real time, a read takes what has come, whatever the size.
    std::vector<float> block(source->waitsForInput() ? 16384 : 4096);
    // The audio the line search is looking at, decoded first once it has
    // found the line, so that no text is lost.
    std::vector<float> heard;
    if (automatic) {
        if (!searchLine(*source, block, heard, parameters, !live, interrupted))
            return kRunError;
        if (!live) {
            heard.clear();
            source = rtty::openSource(sourceName, {false, false}, error);
            if (!source) {
                std::cerr << "pluvane-rtty: " << error << "\n";
                return kRunError;
            }
        }
    }

    rtty::RttyDemodulator demodulator(source->sampleRate(), parameters);
    // With the line given, the line search listens alongside: a line set
    // wrong prints what looks like traffic, so the text waits until the
    // search has found the signal's line and it fits (a file: until its end
    // if need be; a live source: kLiveHoldSeconds at most, and a wrong line
    // found later still ends the decoding).
    std::unique_ptr<rtty::LineCheck> check;
    if (!automatic)
        check = std::make_unique<rtty::LineCheck>(source->sampleRate(), parameters);
    bool holding = check != nullptr;
    std::string text, held;
    auto write = [&] {
        if (holding) {
            held += text;
        } else {
            held += text;
            std::fwrite(held.data(), 1, held.size(), stdout);
            if (live)
                std::fflush(stdout);
            held.clear();
        }
        text.clear();
    };
    demodulator.process(heard.data(), heard.size(), text);
    while (!interrupted()) {
        const size_t got = source->read(block.data(), block.size());
        if (got == 0)
            break;
        demodulator.process(block.data(), got, text);
        if (check && (demodulator.samplesProcessed() < kCheckAlwaysSeconds * source->sampleRate()
                      || demodulator.state() != rtty::DecodeState::NoSignal)) {
            check->process(block.data(), got);
            if (check->verdict() == rtty::LineCheck::Verdict::Wrong)
                return reportWrongLine(parameters, *check);
            if (check->verdict() == rtty::LineCheck::Verdict::Fits) {
                check.reset();
                holding = false;
            } else if (live && demodulator.samplesProcessed() > kLiveHoldSeconds * source->sampleRate()) {
                holding = false;
            }
        }
        write();
    }
    // Let the last character out: a little silence after the end.
    std::vector<float> silence(static_cast<size_t>(source->sampleRate()), 0.0f);
    demodulator.process(silence.data(), silence.size(), text);
    if (check && !interrupted()) {
        check->finish();
        if (check->verdict() == rtty::LineCheck::Verdict::Wrong)
            return reportWrongLine(parameters, *check);
    }
    holding = false;
    write();
    std::fflush(stdout);
    if (!source->errorText().empty()) {
        std::cerr << "pluvane-rtty: " << source->errorText() << "\n";
        return kRunError;
    }
    if (!quiet)
        std::cerr << "pluvane-rtty: decoded " << demodulator.samplesProcessed() / source->sampleRate() << " s of audio\n";
    return 0;
}

int runEncode(CommandLine& line)
{
    rtty::RttyParameters parameters;
    bool haveBaud = false, haveShift = false, haveCentre = false, floatSamples = false;
    rtty::RenderOptions options;
    double sampleRate = 8000.0;
    double leadInSeconds = 0.0;  // no transmission yet: noise alone, or silence
    std::vector<std::string> files;
    while (!line.done()) {
        const std::string argument = line.next();
        haveBaud |= argument == "--baud";
        haveShift |= argument == "--shift";
        haveCentre |= argument == "--centre" || argument == "--center";
        if (lineOption(argument, line, parameters))
            continue;
        if (argument == "--snr") {
            options.addNoise = true;
            options.snrDb = line.number(argument);
        } else if (argument == "--rate") {
            sampleRate = line.number(argument);
        } else if (argument == "--seed") {
            options.seed = static_cast<uint32_t>(line.number(argument));
        } else if (argument == "--no-resend-figures") {
            options.resendFiguresAfterSpace = false;
        } else if (argument == "--lead-in") {
            leadInSeconds = line.number(argument);
            if (!(leadInSeconds >= 0.0 && leadInSeconds <= 3600.0))
                throw UsageError("--lead-in must be between 0 and 3600 seconds");
        } else if (argument == "--float") {
            floatSamples = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            throw UsageError("unknown option '" + argument + "'");
        } else {
            files.push_back(argument);
        }
    }
    if (!haveBaud || !haveShift || !haveCentre)
        throw UsageError("encode needs --baud, --shift and --centre");
    if (files.size() != 2)
        throw UsageError("encode needs a text file and an output file");
    if (sampleRate != std::floor(sampleRate) || sampleRate < rtty::limits::kMinSampleRate
        || sampleRate > rtty::limits::kMaxSampleRate)
        throw UsageError("--rate must be a whole number of Hz from 8000 to 192000");
    checkLine(parameters, sampleRate);

    std::ifstream in(files[0], std::ios::binary);
    if (!in) {
        std::cerr << "pluvane-rtty: cannot read " << files[0] << "\n";
        return kRunError;
    }
    std::stringstream content;
    content << in.rdbuf();
    const std::string text = content.str();
    const size_t unsendable = rtty::baudot::encode(text, options.resendFiguresAfterSpace).unsendable;
    if (unsendable > 0)
        std::cerr << "pluvane-rtty: " << unsendable << " characters have no ITA2 code and were left out\n";

    // 16-bit files keep noise peaks unclipped: the signal is scaled so that
    // four standard deviations of the sum stay within full scale.
    if (options.addNoise && !floatSamples) {
        const double snr = std::pow(10.0, options.snrDb / 10.0);
        const double sigmaPerAmplitude = std::sqrt(0.5 * (sampleRate / 2.0) / (3000.0 * snr));
        options.amplitude = static_cast<float>(std::min(0.5, 1.0 / (1.0 + 4.0 * sigmaPerAmplitude)));
    }
    // The noise runs through the lead-in too; an empty text sends nothing at all.
    rtty::RenderOptions clean = options;
    clean.addNoise = false;
    std::vector<float> samples(static_cast<size_t>(leadInSeconds * sampleRate), 0.0f);
    if (!text.empty()) {
        const std::vector<float> transmission = rtty::renderText(text, sampleRate, parameters, clean);
        samples.insert(samples.end(), transmission.begin(), transmission.end());
    }
    if (options.addNoise)
        rtty::NoiseAdder(sampleRate, 0.5 * options.amplitude * options.amplitude, options.snrDb, options.seed)
            .add(samples.data(), samples.size());
    const std::string error = rtty::writeWav(files[1], samples, static_cast<int>(sampleRate),
                                             floatSamples ? rtty::WavFormat::Float32 : rtty::WavFormat::Pcm16);
    if (!error.empty()) {
        std::cerr << "pluvane-rtty: " << error << "\n";
        return kRunError;
    }
    return 0;
}

int runListAudio()
{
    std::string error;
    const auto devices = rtty::listAudioDevices(error);
    if (!error.empty()) {
        std::cerr << "pluvane-rtty: " << error << "\n";
        return kRunError;
    }
    if (devices.empty())
        std::cout << "No audio capture devices.\n";
    for (const auto& device : devices)
        std::cout << device.index << (device.isDefault ? " * " : "   ") << device.name << " (" << device.inputChannels
                  << " channels, " << device.defaultSampleRate << " Hz)\n";
    return 0;
}

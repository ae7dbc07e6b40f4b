// The decode, encode and --list-audio commands of pluvane-rtty.

#include "cardserver/demod/AudioSource.h"
#include "cardserver/demod/AutoLineSearch.h"
#include "cardserver/demod/Baudot.h"
#include "cardserver/demod/FskModulator.h"
#include "cardserver/demod/RttyDemodulator.h"
#include "cardserver/demod/SampleSource.h"
#include "cardserver/demod/WavWriter.h"
#include "cardserver/demod/cli/CommandLine.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

using pluvane_rtty::CommandLine;
using pluvane_rtty::UsageError;

namespace {

constexpr int kRunError = 1;

std::string sourceSpec(const std::string& argument)
{
    if (argument == "demo" || argument.rfind("wav:", 0) == 0 || argument.rfind("audio:", 0) == 0)
        return argument;
    return "wav:" + argument;
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
    if (!(parameters.centreHz >= 300.0 && parameters.centreHz <= 3000.0))
        throw UsageError("the centre frequency must be between 300 and 3000 Hz");
    if (const char* problem = rtty::parameterProblem(parameters, sampleRate))
        throw UsageError(problem);
}

}  // namespace

int runDecode(CommandLine& line, bool (*interrupted)())
{
    rtty::RttyParameters parameters;
    bool quiet = false, automatic = false;
    std::string input;
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
        else if (argument.size() > 1 && argument[0] == '-')
            throw UsageError("unknown option '" + argument + "'");
        else if (!input.empty())
            throw UsageError("only one source can be decoded at a time");
        else
            input = argument;
    }
    if (input.empty())
        throw UsageError("decode needs a sound file or source");

    // The demo plays at the pace of a real broadcast; files go as fast as they can.
    const bool live = input.rfind("audio:", 0) == 0 || input == "demo";
    std::string error;
    auto source = rtty::openSource(sourceSpec(input), {false, input == "demo"}, error);
    if (!source) {
        std::cerr << "pluvane-rtty: " << error << "\n";
        return kRunError;
    }
    if (const char* problem = rtty::parameterProblem(parameters, source->sampleRate())) {
        std::cerr << "pluvane-rtty: " << source->describe() << ": " << problem << "\n";
        return kRunError;
    }
    checkLine(parameters, source->sampleRate());

    std::vector<float> block(4096);
    std::vector<float> heard;  // what the line search listened to, decoded first
    if (automatic) {
        rtty::AutoLineSearch search(source->sampleRate());
        while (!search.finished() && !interrupted()) {
            const size_t got = source->read(block.data(), block.size());
            if (got == 0)
                break;
            search.process(block.data(), got);
            heard.insert(heard.end(), block.begin(), block.begin() + long(got));
        }
        search.finish();
        const rtty::AlsResult& found = search.result();
        if (!found.determined) {
            std::cerr << "pluvane-rtty: line search: not determinable: " << found.reason << "\n";
            return kRunError;
        }
        parameters.baud = found.baud;
        parameters.shiftHz = found.shiftHz;
        parameters.centreHz = found.centreHz;
        parameters.inverted = found.inverted;
        char line[160];
        std::snprintf(line, sizeof line, "centre %.1f Hz, shift %.1f Hz, %g Bd, %s polarity (%.1f s)", found.centreHz,
                      found.shiftHz, found.baud, found.inverted ? "inverted" : "normal", found.secondsUsed);
        std::cerr << "pluvane-rtty: line search: " << line << "\n";
    }

    rtty::RttyDemodulator demodulator(source->sampleRate(), parameters);
    std::string text;
    demodulator.process(heard.data(), heard.size(), text);
    while (!interrupted()) {
        const size_t got = source->read(block.data(), block.size());
        if (got == 0)
            break;
        demodulator.process(block.data(), got, text);
        if (!text.empty()) {
            std::fwrite(text.data(), 1, text.size(), stdout);
            if (live)
                std::fflush(stdout);
            text.clear();
        }
    }
    // Let the last character out: a little silence after the end.
    std::vector<float> silence(static_cast<size_t>(source->sampleRate()), 0.0f);
    demodulator.process(silence.data(), silence.size(), text);
    std::fwrite(text.data(), 1, text.size(), stdout);
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
    if (sampleRate != std::floor(sampleRate) || sampleRate < 8000.0 || sampleRate > 192000.0)
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
    const std::vector<float> samples = rtty::renderText(text, sampleRate, parameters, options);
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

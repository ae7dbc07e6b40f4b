// pluvane-rtty: the card server's RTTY demodulator on the command line.

#include "rtty/dsp/RttyParameters.h"
#include "rtty/cli/CommandLine.h"

#include <cstdio>
#include <string>
#include <csignal>
#include <iostream>

namespace {

constexpr int kUsageError = 2;

// The ranges are the demodulator's own limits, so the help cannot drift from them.
std::string helpText()
{
    using namespace rtty::limits;
    char text[4096];
    std::snprintf(text, sizeof text, R"(Usage:
  pluvane-rtty decode [options] SOURCE
  pluvane-rtty decode --raw --rate R [--format s16le|f32le] [options] FILE|-
  pluvane-rtty encode --baud B --shift S --centre F [options] TEXT_FILE OUT.wav
  pluvane-rtty --list-audio | --help | --version

decode writes the text decoded from SOURCE to standard output. SOURCE is
  FILE or wav:FILE          a WAV (also RF64) or FLAC recording
  raw:FILE@R[,FORMAT]       headerless mono PCM at R Hz, s16le (default) or
                            f32le; FILE may be a FIFO or - (standard input)
  udp:[ADDR:]PORT[@R[,FORMAT]]  UDP audio as gqrx sends it (default 127.0.0.1,
                            48000 Hz, s16le), until interrupted
  audio:DEVICE              live capture, until interrupted
  demo                      the built-in bulletin broadcast
Files are decoded as fast as the processor allows; pipes and the network as
the audio comes. For example, from an SDR:
  rtl_fm -M usb -f 4583000 -s 12k - | pluvane-rtty decode --raw --rate 12000 -
  --raw           SOURCE is raw PCM (a file or -), described by:
  --rate R        its sample rate, %g to %g Hz
  --format F      s16le (16-bit integer, default) or f32le (32-bit float)
  --baud B        speed, %g to %g baud (default 50; weather: 50 or 75)
  --shift S       shift, %g to %g Hz (default 425)
  --centre F      centre frequency, %g to %g Hz (default 1500); the lower tone
                  must lie at least %g x the speed above 0 Hz, the upper one
                  at most %g x the sample rate
  --inverted      mark is the lower tone
  --stop-bits N   %g to %g (default 1.5; the receiver accepts all)
  --no-unshift    a space does not return to letters
  --auto          measure centre, shift, speed and polarity first (from at
                  most 10 s of signal) and report them on standard error
  --quiet         no diagnostics on standard error

encode writes TEXT_FILE as an RTTY signal.
  --snr DB        add white noise: SNR in a 3 kHz bandwidth, in dB
  --rate R        sample rate, %g to %g Hz (default 8000)
  --lead-in SECONDS  noise or silence before the text
  --inverted, --stop-bits N as for decode
  --no-resend-figures  do not repeat FIGS after a space (for receivers that
                  do not unshift on space)
  --seed N        noise seed (default 1)
  --float         write 32-bit float samples instead of 16-bit

Exit status: 0 success, 1 the input could not be read or decoded, 2 usage.
)",
                  kMinSampleRate, kMaxSampleRate, kMinBaud, kMaxBaud, kMinShiftHz, kMaxShiftHz,
                  pluvane_rtty::kMinCentreHz, pluvane_rtty::kMaxCentreHz, kLowestToneInBauds, kHighestToneOfRate,
                  kMinStopBits, kMaxStopBits, kMinSampleRate, kMaxSampleRate);
    return text;
}

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int)
{
    g_interrupted = 1;
}

bool interrupted()
{
    return g_interrupted != 0;
}

}  // namespace

int runDecode(pluvane_rtty::CommandLine& line, bool (*interrupted)());
int runEncode(pluvane_rtty::CommandLine& line);
int runListAudio();

int main(int argc, char** argv)
{
    pluvane_rtty::CommandLine line(argc, argv);
    const std::string command = line.next();
    try {
        if (command == "--help" || command == "-h") {
            std::cout << helpText();
            return 0;
        }
        if (command == "--version") {
            std::cout << "pluvane-rtty " << PLUVANE_VERSION << "\n";
            return 0;
        }
        if (command == "--list-audio")
            return runListAudio();
        if (command == "decode") {
            std::signal(SIGINT, onInterrupt);
            std::signal(SIGTERM, onInterrupt);
            return runDecode(line, interrupted);
        }
        if (command == "encode")
            return runEncode(line);
        if (command.empty())
            throw pluvane_rtty::UsageError("a command is missing (decode or encode)");
        throw pluvane_rtty::UsageError("unknown command '" + command + "'");
    } catch (const pluvane_rtty::UsageError& e) {
        std::cerr << "pluvane-rtty: " << e.what() << "\nTry 'pluvane-rtty --help'.\n";
        return kUsageError;
    }
}

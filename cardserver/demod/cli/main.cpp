// pluvane-rtty: the card server's RTTY demodulator on the command line.

#include "cardserver/demod/cli/CommandLine.h"

#include <csignal>
#include <iostream>

namespace {

constexpr int kUsageError = 2;

const char* const kHelp = R"(Usage:
  pluvane-rtty decode [options] SOURCE
  pluvane-rtty encode --baud B --shift S --centre F [options] TEXT_FILE OUT.wav
  pluvane-rtty --list-audio | --help | --version

decode writes the text decoded from SOURCE to standard output. SOURCE is a
sound file (FILE.wav or wav:FILE), audio:DEVICE (live capture, until
interrupted) or demo (the built-in bulletin broadcast). Files are decoded as
fast as the processor allows.
  --baud B        speed: 45.45, 50, 75 or 100 (default 50)
  --shift S       shift in Hz, 170 to 1000 (default 425)
  --centre F      centre frequency in Hz, 300 to 3000 (default 1500)
  --inverted      mark is the lower tone
  --stop-bits N   1, 1.5 or 2 (default 1.5; the receiver accepts all)
  --no-unshift    a space does not return to letters
  --auto          measure centre, shift, speed and polarity first (from at
                  most 10 s of signal) and report them on standard error
  --quiet         no diagnostics on standard error

encode writes TEXT_FILE as an RTTY signal.
  --snr DB        add white noise: SNR in a 3 kHz bandwidth, in dB
  --rate R        sample rate (default 8000)
  --inverted, --stop-bits N as for decode
  --no-resend-figures  do not repeat FIGS after a space (for receivers that
                  do not unshift on space)
  --seed N        noise seed (default 1)
  --float         write 32-bit float samples instead of 16-bit

Exit status: 0 success, 1 the input could not be read or decoded, 2 usage.
)";

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
            std::cout << kHelp;
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

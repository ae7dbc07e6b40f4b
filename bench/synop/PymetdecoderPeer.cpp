#include "PymetdecoderPeer.h"

#include "ChildProcess.h"
#include "synopdecoder/StreamAssembler.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <vector>

namespace bench {
namespace {

bool isFile(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The interpreter's own path, set by findPymetdecoder.
std::string& python()
{
    static std::string path;
    return path;
}

// The peer's run is seconds long and the tool's a tenth of one; on this
// shared machine the CPU time of the same work swings by half with the load
// on the other core. So they run in turns: in each round the tool just
// before and just after the peer, and the ratios' median is the figure.
constexpr int kRounds = 3;

struct InTurns {
    bool ok = false;
    long toolReports = 0;
    double toolBest = 1e9;  // seconds, over every run of the tool
    double peerBest = 1e9;
    long decoded = -1;
    long failed = -1;
    std::vector<double> ratios;  // the tool's rate over the peer's, a round each
};

double bestOf(const std::vector<std::string>& arguments, const std::string& out, int times)
{
    double seconds = 1e9;
    for (int i = 0; i < times; ++i) {
        const Child c = run(arguments, out);
        if (c.status != 0) std::fprintf(stderr, "pluvane-synop exited %d\n", c.status);
        seconds = std::min(seconds, c.cpuSeconds);
    }
    return seconds;
}

// The tool is best of `toolRuns` before and after each run of the peer;
// the peer's rate is per message given, failed ones included (generous to
// it: a message it gives up on costs it less than one it writes out).
InTurns inTurns(const std::vector<std::string>& tool, const std::string& peerInput, long messages, int toolRuns,
                const std::string& workDir)
{
    const std::string out = workDir + "/tool.json";
    const std::string peerOut = workDir + "/peer.json";
    const std::string err = workDir + "/peer.err";
    InTurns r;
    for (int round = 0; round < kRounds; ++round) {
        const double before = bestOf(tool, out, toolRuns);
        const Child peer = run({python(), PYMETDECODER_PEER, peerInput, peerOut}, "/dev/null", err);
        const double after = bestOf(tool, out, toolRuns);
        if (peer.status != 0) {
            std::fprintf(stderr, "pymetdecoder_peer.py exited %d (its errors: %s)\n", peer.status, err.c_str());
            return r;
        }
        r.toolReports = countLines(out);
        r.toolBest = std::min({r.toolBest, before, after});
        r.peerBest = std::min(r.peerBest, peer.cpuSeconds);
        r.ratios.push_back(r.toolReports / ((before + after) / 2) / (messages / peer.cpuSeconds));
    }
    std::ifstream in(err);
    std::string line;
    std::getline(in, line);
    std::sscanf(line.c_str(), "decoded %ld, failed %ld", &r.decoded, &r.failed);
    r.ok = true;
    return r;
}

void printRatio(const char* indent, const char* what, std::vector<double> ratios)
{
    std::sort(ratios.begin(), ratios.end());
    std::printf("%s%s: %.0f times pymetdecoder's rate in the same run (median of %d rounds in turns; they gave",
                indent, what, ratios[ratios.size() / 2], kRounds);
    for (double ratio : ratios) std::printf(" %.0f", ratio);
    std::printf(")\n");
}

}  // namespace

bool findPymetdecoder(const std::string& workDir)
{
    if (const char* dir = std::getenv("PLUVANE_PYMETDECODER"); dir && *dir) {
        if (isFile(std::string(dir) + "/pymetdecoder/__init__.py")) {
            const char* old = std::getenv("PYTHONPATH");
            const std::string path = old && *old ? std::string(dir) + ":" + old : std::string(dir);
            setenv("PYTHONPATH", path.c_str(), 1);
        } else {
            std::printf("    (PLUVANE_PYMETDECODER=%s holds no pymetdecoder/__init__.py)\n", dir);
        }
    }
    // Its modules compiled once, here, as an installed copy would have them,
    // rather than at every timed run.
    unsetenv("PYTHONDONTWRITEBYTECODE");
    setenv("PYTHONPYCACHEPREFIX", (workDir + "/pycache").c_str(), 1);
    // The interpreter itself, not what PATH finds: a version manager's shim
    // (a shell script) would add its own start-up to the peer's time.
    const std::string where = workDir + "/python.txt";
    if (run({"python3", "-c", "import sys, pymetdecoder.synop; sys.stdout.write(sys.executable)"}, where).status != 0)
        return false;
    std::ifstream in(where);
    std::getline(in, python());
    return !python().empty();
}

void benchTextRows(const std::string& tool, const std::string& rawInput, const std::string& stream,
                   const std::string& workDir)
{
    // pymetdecoder reads one message with its section 0 and has no
    // assembler, so it gets the library's reports, each put back on one
    // line; it knows no FM 18, so buoys are left out.
    long messages = 0, buoys = 0;
    const std::string input = workDir + "/peer-input.txt";
    {
        std::ofstream lines(input, std::ios::binary);
        synop::AssemblerOptions keepRepeats;
        keepRepeats.dropDuplicates = false;
        synop::StreamAssembler assembler([&](synop::AssembledReport&& r) {
            if (r.form == synop::ReportForm::Buoy) {
                ++buoys;
                return;
            }
            // A ship's call sign is its first group.
            lines << (r.form == synop::ReportForm::Land ? "AAXX " + r.landDateGroup : std::string("BBXX"));
            for (const std::string& group : r.groups) lines << ' ' << group;
            lines << " =\n";
            ++messages;
        }, keepRepeats);
        assembler.feed(stream);
        assembler.finish();
    }
    const InTurns r = inTurns({tool, "--received", "2026-03-28T23:00Z", "--keep-duplicates", rawInput}, input, messages, 3,
                              workDir);
    if (!r.ok) return;
    std::printf("pymetdecoder 0.2.2 (pymetdecoder_peer.py, one message a line, JSON lines to a file, best of %d): %ld messages "
                "(%ld decoded, %ld failed; %ld buoy reports left out), %.1f s of CPU, %.0f messages per CPU second\n",
                kRounds, messages, r.decoded, r.failed, buoys, r.peerBest, messages / r.peerBest);
    printRatio("", "pluvane-synop --keep-duplicates, JSON lines to a file (the raw text)", r.ratios);
}

void realTrafficRows(const std::string& tool, const std::string& workDir)
{
    const char* shared = std::getenv("PLUVANE_SHARED_DATA");
    const std::string file = std::string(shared && *shared ? shared : "/work/shared/data") +
                             "/synop-real/ogimet-land-2026-03-01-15.txt";
    if (!isFile(file)) {
        std::printf("    (real traffic rows skipped: no %s)\n", file.c_str());
        return;
    }
    const long messages = countLines(file);
    constexpr int kToolRuns = 5;  // it is done in some 40 ms
    const InTurns r = inTurns({tool, "--keep-duplicates", "--received", "2026-03-16T00:00Z", file}, file, messages, kToolRuns,
                              workDir);
    if (!r.ok) return;
    std::printf("real traffic, %s (%ld land reports, one a line):\n", file.c_str(), messages);
    std::printf("  pluvane-synop --keep-duplicates, JSON lines to a file (best of %d): %ld reports, %.1f ms of CPU, "
                "%.0f reports per CPU second\n", 2 * kToolRuns * kRounds, r.toolReports, r.toolBest * 1000, r.toolReports / r.toolBest);
    std::printf("  pymetdecoder 0.2.2 (pymetdecoder_peer.py, best of %d): %ld decoded, %ld failed, %.2f s of CPU, "
                "%.0f messages per CPU second\n", kRounds, r.decoded, r.failed, r.peerBest, messages / r.peerBest);
    printRatio("  ", "pluvane-synop", r.ratios);
}

}  // namespace bench

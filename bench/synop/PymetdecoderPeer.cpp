#include "PymetdecoderPeer.h"

#include "ChildProcess.h"
#include "synopdecoder/StreamAssembler.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace bench {
namespace {

bool isFile(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

struct PeerRun {
    Child child;
    long decoded = -1;
    long failed = -1;
};

// Best of `times` runs of the peer, with the counts it printed.
PeerRun runPeer(const std::string& input, const std::string& workDir, int times)
{
    const std::string out = workDir + "/peer.json";
    const std::string err = workDir + "/peer.err";
    PeerRun best;
    best.child.cpuSeconds = 1e9;
    for (int i = 0; i < times; ++i) {
        const Child c = run({"python3", PYMETDECODER_PEER, input, out}, "/dev/null", err);
        if (c.status != 0) {
            std::fprintf(stderr, "pymetdecoder_peer.py exited %d (see its errors in %s)\n", c.status, err.c_str());
            return {};
        }
        if (c.cpuSeconds < best.child.cpuSeconds) best.child = c;
    }
    std::ifstream in(err);
    std::string line;
    std::getline(in, line);
    std::sscanf(line.c_str(), "decoded %ld, failed %ld", &best.decoded, &best.failed);
    return best;
}

}  // namespace

bool findPymetdecoder()
{
    if (const char* dir = std::getenv("PLUVANE_PYMETDECODER"); dir && *dir) {
        if (isFile(std::string(dir) + "/pymetdecoder/__init__.py")) {
            const char* old = std::getenv("PYTHONPATH");
            const std::string path = old && *old ? std::string(dir) + ":" + old : std::string(dir);
            setenv("PYTHONPATH", path.c_str(), 1);
            return true;
        }
        std::printf("    (PLUVANE_PYMETDECODER=%s holds no pymetdecoder/__init__.py)\n", dir);
    }
    return run({"python3", "-c", "import pymetdecoder"}, "/dev/null").status == 0;
}

void benchTextRows(const std::string& stream, const std::string& workDir, double toolRate)
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
    const PeerRun peer = runPeer(input, workDir, 2);
    if (peer.child.status != 0) return;
    // Per message given, failed ones included: generous to it, as those
    // cost it less than a decoded one.
    const double rate = messages / peer.child.cpuSeconds;
    std::printf("pymetdecoder 0.2.2 (pymetdecoder_peer.py, one message a line, JSON lines to a file, best of 2): %ld messages "
                "(%ld decoded, %ld failed; %ld buoy reports left out), %.1f s of CPU, %.0f messages per CPU second\n",
                messages, peer.decoded, peer.failed, buoys, peer.child.cpuSeconds, rate);
    std::printf("pluvane-synop --keep-duplicates, JSON lines to a file: %.0f times pymetdecoder's rate in the same run\n",
                toolRate / rate);
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
    const std::string out = workDir + "/real.json";
    double toolSeconds = 1e9;
    for (int i = 0; i < 5; ++i) {
        const Child c = run({tool, "--keep-duplicates", "--received", "2026-03-16T00:00Z", file}, out);
        if (c.status != 0) std::fprintf(stderr, "pluvane-synop exited %d\n", c.status);
        toolSeconds = std::min(toolSeconds, c.cpuSeconds);
    }
    const long written = countLines(out);
    const PeerRun peer = runPeer(file, workDir, 2);
    if (peer.child.status != 0) return;
    const double toolRate = written / toolSeconds;
    const double peerRate = messages / peer.child.cpuSeconds;
    std::printf("real traffic, %s (%ld land reports, one a line):\n", file.c_str(), messages);
    std::printf("  pluvane-synop --keep-duplicates, JSON lines to a file (best of 5): %ld reports, %.1f ms of CPU, "
                "%.0f reports per CPU second\n", written, toolSeconds * 1000, toolRate);
    std::printf("  pymetdecoder 0.2.2 (pymetdecoder_peer.py, best of 2): %ld decoded, %ld failed, %.2f s of CPU, "
                "%.0f messages per CPU second\n", peer.decoded, peer.failed, peer.child.cpuSeconds, peerRate);
    std::printf("  pluvane-synop: %.0f times pymetdecoder's rate in the same run\n", toolRate / peerRate);
}

}  // namespace bench

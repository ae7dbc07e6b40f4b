// pluvane-rtty decode with two to four sources: receivers of one broadcast
// decoded as one text.

#include "rtty/audio/LiveReader.h"
#include "rtty/audio/SampleSource.h"
#include "rtty/cli/CommandLine.h"
#include "rtty/diversity/CombinedLineCheck.h"
#include "rtty/diversity/DiversityDecoder.h"
#include "rtty/linesearch/AutoLineSearch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

namespace {

constexpr int kRunError = 1;
constexpr int kWrongLine = 3;
// As for one source: with the line given, the text waits until a line
// search finds that it fits, on a live source this long at most; the
// search listens this long whatever the squelch says.
constexpr double kLiveHoldSeconds = 15.0;
constexpr double kCheckAlwaysSeconds = 60.0;
constexpr double kBlockSeconds = 0.1;
// With --auto on live sources: once one branch has its line, the others
// get this long to find theirs (a branch in a fade or with no signal
// takes the line found).
constexpr double kSearchGraceSeconds = 10.0;

struct Branch {
    std::string name;
    std::unique_ptr<rtty::SampleSource> source;
    std::unique_ptr<rtty::LiveReader> reader;
    rtty::RttyParameters line;
    std::unique_ptr<rtty::AutoLineSearch> search;
    std::vector<float> heard;  // live audio taken while searching, decoded first
    bool ended = false;
    bool reportedAligned = false;
};

int reportWrongLine(const std::vector<Branch>& branches, const rtty::CombinedLineCheck& check)
{
    const int b = check.wrongBranch();
    const rtty::AlsResult& heard = check.check(b).heard();
    const rtty::RttyParameters& set = branches[size_t(b)].line;
    char text[400];
    std::snprintf(text, sizeof text,
                  "the signal does not fit the line set (centre %.1f Hz, shift %.1f Hz, %g Bd, %s polarity): heard %s "
                  "on branch %d (%s); decode it with --auto, or with --baud %g --shift %.0f --centre %.0f%s",
                  set.centreHz, set.shiftHz, set.baud, set.inverted ? "inverted" : "normal",
                  check.check(b).describeHeard().c_str(), b + 1, branches[size_t(b)].name.c_str(), heard.baud,
                  heard.shiftHz, heard.centreHz, heard.inverted ? " --inverted" : "");
    std::cerr << "pluvane-rtty: " << text << "\n";
    return kWrongLine;
}

std::string lineText(const rtty::AlsResult& found)
{
    char text[160];
    std::snprintf(text, sizeof text, "centre %.1f Hz, shift %.1f Hz, %g Bd, %s polarity", found.centreHz,
                  found.shiftHz, found.baud, found.inverted ? "inverted" : "normal");
    return text;
}

// Reads the next block of a branch: a file as much as asked (silence after
// its end, so the others go on), a live source what has come in.
size_t readBlock(Branch& branch, std::vector<float>& block, bool live, double seconds = kBlockSeconds)
{
    const auto wanted = size_t(seconds * branch.source->sampleRate());
    block.assign(wanted, 0.0f);
    if (branch.reader) {
        const size_t got = branch.reader->take(block.data(), wanted);
        branch.ended = branch.reader->drained();
        return got;
    }
    size_t got = 0;
    while (!branch.ended && got < wanted) {
        const size_t n = branch.source->read(block.data() + got, wanted - got);
        if (n == 0)
            branch.ended = true;
        got += n;
    }
    return live ? got : wanted;
}

// Measures each branch's line. Files are searched one by one to their end
// if need be; live sources together, until each has its line or the grace
// after the first has passed. Branches without a line take the first
// one found. False when no branch has a line.
bool searchLines(std::vector<Branch>& branches, bool live, bool (*interrupted)())
{
    std::vector<float> block;
    const rtty::AlsResult* first = nullptr;
    double firstAt = 0.0, heardSeconds = 0.0;
    for (Branch& branch : branches)
        branch.search = std::make_unique<rtty::AutoLineSearch>(branch.source->sampleRate());
    for (bool going = true; going && !interrupted();) {
        going = false;
        for (Branch& branch : branches) {
            if (branch.ended || branch.search->determined())
                continue;
            if (live && first && heardSeconds - firstAt > kSearchGraceSeconds)
                continue;
            going = true;
            if (branch.reader)
                branch.reader->waitForAudio(0.02);
            const size_t got = readBlock(branch, block, true);
            branch.search->process(block.data(), got);
            if (live)
                branch.heard.insert(branch.heard.end(), block.begin(), block.begin() + long(got));
            if (branch.search->determined() && !first) {
                first = &branch.search->result();
                firstAt = heardSeconds;
            }
        }
        heardSeconds = 0.0;
        for (const Branch& branch : branches)
            heardSeconds = std::max(heardSeconds, branch.search->result().secondsUsed);
    }
    for (size_t b = 0; b < branches.size(); ++b) {
        Branch& branch = branches[b];
        if (!branch.search->determined())
            branch.search->finish();
        const rtty::AlsResult& found = branch.search->result();
        if (found.determined && !first)
            first = &found;
    }
    if (!first) {
        std::cerr << "pluvane-rtty: line search: no line found on any source\n";
        for (const Branch& branch : branches)
            std::cerr << "pluvane-rtty:   " << branch.name << ": " << branch.search->mostLikeALine().reason << "\n";
        return false;
    }
    for (size_t b = 0; b < branches.size(); ++b) {
        Branch& branch = branches[b];
        const rtty::AlsResult& found = branch.search->result();
        const rtty::AlsResult& use = found.determined ? found : *first;
        branch.line.baud = use.baud;
        branch.line.shiftHz = use.shiftHz;
        branch.line.centreHz = use.centreHz;
        branch.line.inverted = use.inverted;
        std::cerr << "pluvane-rtty: line search, branch " << b + 1 << " (" << branch.name << "): "
                  << (found.determined ? lineText(found) : "no line of its own; decoded at " + lineText(*first))
                  << "\n";
    }
    // Speed and stop are the broadcast's: one for all branches.
    for (Branch& branch : branches)
        branch.line.baud = first->baud;
    return true;
}

// Live, a line for each branch as it is first aligned with the others; at
// the end, each branch's delay, tuning and share of the decisions.
void reportBranches(const rtty::DiversityDecoder& decoder, std::vector<Branch>& branches, bool final)
{
    for (int b = 0; b < decoder.branches(); ++b) {
        const rtty::BranchReport r = decoder.report(b);
        Branch& branch = branches[size_t(b)];
        char text[300];
        if (!final) {
            if (!r.aligned || branch.reportedAligned)
                continue;
            branch.reportedAligned = true;
            std::snprintf(text, sizeof text, "aligned after %.0f s: delay %.3f s, centre %.1f Hz (%+.1f Hz)",
                          r.secondsIn, r.delaySeconds, r.centreHz, r.offsetHz);
        } else if (r.aligned) {
            std::snprintf(text, sizeof text, "delay %.3f s, centre %.1f Hz (%+.1f Hz), share %.0f %%",
                          r.delaySeconds, r.centreHz, r.offsetHz, 100 * r.share);
        } else {
            std::snprintf(text, sizeof text, "not aligned with the others (nothing in common with them), share %.0f %%",
                          100 * r.share);
        }
        std::cerr << "pluvane-rtty: branch " << b + 1 << " (" << branch.name << ") " << text << "\n";
    }
}

}  // namespace

int runCombinedDecode(const std::vector<std::string>& sourceNames, rtty::RttyParameters parameters, bool automatic,
                      bool quiet, bool (*interrupted)())
{
    std::vector<Branch> branches(sourceNames.size());
    bool live = false;
    std::string error;
    for (size_t b = 0; b < branches.size(); ++b) {
        branches[b].name = sourceNames[b];
        branches[b].source = rtty::openSource(sourceNames[b], {false, false}, error);
        if (!branches[b].source) {
            std::cerr << "pluvane-rtty: " << error << "\n";
            return kRunError;
        }
        live = live || branches[b].source->waitsForInput();
    }
    if (!(parameters.centreHz >= pluvane_rtty::kMinCentreHz && parameters.centreHz <= pluvane_rtty::kMaxCentreHz))
        throw pluvane_rtty::UsageError("the centre frequency must be between 300 and 3000 Hz");
    for (Branch& branch : branches) {
        if (const char* problem = rtty::parameterProblem(parameters, branch.source->sampleRate())) {
            std::cerr << "pluvane-rtty: " << branch.source->describe() << ": " << problem << "\n";
            return kRunError;
        }
        branch.line = parameters;
    }
    // With a live source among them, files play at their own pace too, so
    // that all branches keep the same time.
    if (live) {
        for (Branch& branch : branches) {
            if (!branch.source->waitsForInput())
                branch.source = rtty::openSource(branch.name, {false, true}, error);
            if (!branch.source) {
                std::cerr << "pluvane-rtty: " << error << "\n";
                return kRunError;
            }
            branch.reader = std::make_unique<rtty::LiveReader>(*branch.source);
        }
    }

    if (automatic) {
        if (!searchLines(branches, live, interrupted))
            return kRunError;
        if (!live) {
            for (Branch& branch : branches) {
                branch.source = rtty::openSource(branch.name, {false, false}, error);
                branch.ended = false;
                if (!branch.source) {
                    std::cerr << "pluvane-rtty: " << error << "\n";
                    return kRunError;
                }
            }
        }
    }

    std::vector<double> rates;
    std::vector<rtty::RttyParameters> lines;
    for (const Branch& branch : branches) {
        rates.push_back(branch.source->sampleRate());
        lines.push_back(branch.line);
    }
    rtty::DiversityDecoder decoder(rates, lines);
    // With the line given, a search listens on every branch: a line set
    // wrong prints what looks like traffic, so the text waits until one
    // finds that it fits.
    bool holding = !automatic;
    std::unique_ptr<rtty::CombinedLineCheck> check;
    if (!automatic)
        check = std::make_unique<rtty::CombinedLineCheck>(rates, lines);
    std::string text, held;
    auto flush = [&] {
        held += text;
        text.clear();
        if (holding || held.empty())
            return;
        std::fwrite(held.data(), 1, held.size(), stdout);
        if (live)
            std::fflush(stdout);
        held.clear();
    };
    // Each branch's search hears what its decoder hears.
    auto checkLine = [&](size_t b, const float* samples, size_t n) {
        if (check && (decoder.secondsDecoded() < kCheckAlwaysSeconds || decoder.state() != rtty::DecodeState::NoSignal))
            check->process(int(b), samples, n);
    };
    // True when the line is known to be wrong.
    auto judgeLine = [&] {
        if (!check)
            return false;
        const auto verdict = check->verdict();
        if (verdict == rtty::LineCheck::Verdict::Fits) {
            check.reset();
            holding = false;
        } else if (live && decoder.secondsDecoded() > kLiveHoldSeconds) {
            holding = false;
        }
        return verdict == rtty::LineCheck::Verdict::Wrong;
    };
    // What the live search heard: every branch from the same instant, so
    // their times stay as they were.
    for (size_t b = 0; b < branches.size(); ++b) {
        decoder.process(int(b), branches[b].heard.data(), branches[b].heard.size());
        checkLine(b, branches[b].heard.data(), branches[b].heard.size());
    }
    decoder.decode(text);
    flush();

    std::vector<float> block;
    while (!interrupted()) {
        bool going = false;
        if (live)
            branches.front().reader->waitForAudio(kBlockSeconds / 2);
        // Pipes give their audio as fast as it is taken: the same stretch
        // from each, so that none runs ahead of the others.
        double seconds = kBlockSeconds;
        bool allPipes = live;
        for (Branch& branch : branches)
            allPipes = allPipes && branch.source->senderWaits();
        if (allPipes) {
            seconds = 1.0;
            Branch* slowest = nullptr;
            for (Branch& branch : branches) {
                const double waiting = double(branch.reader->available()) / branch.source->sampleRate();
                if (!branch.reader->drained() && waiting < seconds) {
                    seconds = waiting;
                    slowest = &branch;
                }
            }
            if (slowest && seconds == 0.0) {
                slowest->reader->waitForAudio(kBlockSeconds / 2);
                continue;
            }
        }
        for (size_t b = 0; b < branches.size(); ++b) {
            const size_t got = readBlock(branches[b], block, live, seconds);
            decoder.process(int(b), block.data(), got);
            checkLine(b, block.data(), got);
            going = going || !branches[b].ended;
        }
        decoder.decode(text);
        if (judgeLine())
            return reportWrongLine(branches, *check);
        flush();
        if (!quiet)
            reportBranches(decoder, branches, false);
        if (!going)
            break;
    }
    // Let the last character out: a little silence after the end.
    for (size_t b = 0; b < branches.size(); ++b) {
        const std::vector<float> silence(size_t(branches[b].source->sampleRate()), 0.0f);
        decoder.process(int(b), silence.data(), silence.size());
    }
    decoder.decode(text);
    if (check && !interrupted()) {
        check->finish();
        if (check->verdict() == rtty::LineCheck::Verdict::Wrong)
            return reportWrongLine(branches, *check);
    }
    holding = false;
    flush();
    std::fflush(stdout);
    for (Branch& branch : branches)
        branch.reader.reset();
    for (const Branch& branch : branches) {
        if (!branch.source->errorText().empty()) {
            std::cerr << "pluvane-rtty: " << branch.source->errorText() << "\n";
            return kRunError;
        }
    }
    if (!quiet) {
        reportBranches(decoder, branches, true);
        std::cerr << "pluvane-rtty: decoded " << decoder.secondsDecoded() << " s of audio from " << branches.size()
                  << " sources\n";
    }
    return 0;
}

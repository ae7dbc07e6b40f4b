// synop_cli_bench: pluvane-synop end to end, as a user runs it, against the
// decoding library alone on the same text in the same run. The tool runs as
// a child process and its CPU time (user and system, from wait4) is what
// counts; the library's is the decoding thread's.
//
//   synop_cli_bench PLUVANE_SYNOP [REPEATS [EARLIER_PLUVANE_SYNOP]]
//
// REPEATS copies of the corpus (default 200: about 3.8 MB); an earlier build
// of the tool, when given, runs the JSON and --store rows on the same text.
//
// pymetdecoder, the Python decoder the JSON run is set against, runs in the
// same run (pymetdecoder_peer.py, a child process like the tool, Python's
// start-up charged to it, in turns with the tool) when python3 can import
// it: either
//   PLUVANE_PYMETDECODER=<directory holding pymetdecoder/>  (a checkout of
//   github.com/antarctica/pymetdecoder, or `git archive HEAD pymetdecoder`
//   of a mirror extracted there), or
//   pip install pymetdecoder==0.2.2  (where PyPI is reachable; Debian has no
//   package of it).
// It then also decodes the real traffic in
// $PLUVANE_SHARED_DATA/synop-real/ogimet-land-2026-03-01-15.txt (default
// /work/shared/data), as does the tool. Without it, a line gives the ratio
// against the rate measured for it before.
#include "ChildProcess.h"
#include "PymetdecoderPeer.h"
#include "RealTrafficRows.h"
#include "LargeLogRows.h"
#include "StoreFloorRows.h"
#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using bench::Child;
using bench::countLines;
using bench::median;
using bench::run;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The corpus with its day and hour changed, so that every copy is new text
// (as synop_bench makes it).
std::string variant(const std::string& corpus, int n)
{
    std::string text = corpus;
    char day[3];
    std::snprintf(day, sizeof day, "%02d", 1 + n % 28);
    for (size_t at = text.find("AAXX "); at != std::string::npos; at = text.find("AAXX ", at + 1)) {
        text[at + 5] = day[0];
        text[at + 6] = day[1];
        text[at + 8] = static_cast<char>('0' + (n / 28) % 10);
    }
    return text;
}

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

}  // namespace

int main(int argc, char** argv)
{
    // The floor of the start-up row: a process that loads Qt Core and stops.
    if (argc == 2 && std::string_view(argv[1]) == "--exit") return 0;
    if (argc < 2) {
        std::fprintf(stderr, "usage: synop_cli_bench PLUVANE_SYNOP [REPEATS]\n");
        return 2;
    }
    const std::string tool = argv[1];
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 200;
    const std::string corpus = readFile(SYNOP_CORPUS_DIR "/garbled.txt") + readFile(SYNOP_CORPUS_DIR "/clean.txt");
    std::string stream;
    for (int n = 0; n < repeats; ++n) stream += variant(corpus, n);

    QTemporaryDir dir;
    const std::string input = QDir(dir.path()).filePath("stream.txt").toStdString();
    std::ofstream(input, std::ios::binary) << stream;

    // The library: the same text in 64 kB chunks, as the tool reads a file; values only.
    synop::DecoderOptions valuesOnly;
    valuesOnly.describeGroups = false;
    synop::AssemblerOptions keepRepeats;
    keepRepeats.dropDuplicates = false;
    auto decodeAll = [&] {
        long reports = 0;
        synop::StreamAssembler assembler([&](synop::AssembledReport&& r) {
            const synop::DecodedReport d = synop::decodeReport(std::move(r), valuesOnly);
            reports += d.form == synop::ReportForm::Land || !d.station.empty();
        }, keepRepeats);
        for (size_t at = 0; at < stream.size(); at += 65536) assembler.feed(std::string_view(stream).substr(at, 65536));
        assembler.finish();
        return reports;
    };
    decodeAll();  // warm-up
    double libraryBest = 1e9;
    long libraryReports = 0;
    for (int i = 0; i < 3; ++i) {
        const double start = threadSeconds();
        libraryReports = decodeAll();
        libraryBest = std::min(libraryBest, threadSeconds() - start);
    }
    const double libraryRate = libraryReports / libraryBest;
    std::printf("text: %.1f MB, %ld reports\n", stream.size() / 1e6, libraryReports);
    std::printf("library, values only: %.0f reports per CPU second\n", libraryRate);

    const std::string out = QDir(dir.path()).filePath("out").toStdString();
    const std::vector<std::string> keep = {"--keep-duplicates"};
    std::vector<std::string> common = {tool, "--received", "2026-03-28T23:00Z"};
    auto best = [&](std::vector<std::string> extra, bool toPipe = false, long* lines = nullptr) {
        double seconds = 1e9;
        for (int i = 0; i < 3; ++i) {
            std::vector<std::string> arguments = common;
            arguments.insert(arguments.end(), extra.begin(), extra.end());
            arguments.push_back(input);
            const Child c = run(arguments, toPipe ? std::string() : out);
            if (c.status != 0) std::fprintf(stderr, "pluvane-synop exited %d\n", c.status);
            seconds = std::min(seconds, c.cpuSeconds);
        }
        if (lines) *lines = countLines(out);
        return seconds;
    };
    auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    // Every report decoded and written, as pymetdecoder decodes every one.
    long jsonLines = 0;
    const double json = best(keep, false, &jsonLines);
    std::printf("pluvane-synop --keep-duplicates, JSON lines to a file: %ld reports, %.0f reports per CPU second, %.2f of the library's rate\n",
                jsonLines, jsonLines / json, jsonLines / json / libraryRate);
    if (bench::findPymetdecoder(dir.path().toStdString())) {
        bench::benchTextRows(tool, input, stream, dir.path().toStdString());
        bench::realTrafficRows(tool, dir.path().toStdString());
    } else {
        // Measured for it on this machine before it could be run here.
        std::printf("    (pymetdecoder not run: at the 5000-6000 reports per CPU second measured for it before, %.0f-%.0f times;\n"
                    "     to run it, PLUVANE_PYMETDECODER=<directory holding pymetdecoder/> or pip install pymetdecoder==0.2.2)\n",
                    jsonLines / json / 6000, jsonLines / json / 5000);
    }
    {
        // What every run pays before its first report, against what any
        // program pays that loads Qt Core (this bench, started with nothing
        // to do) and one that loads only the C library: medians of runs in
        // turns. One report adds reading the station lists.
        const std::string empty = QDir(dir.path()).filePath("empty.txt").toStdString();
        std::ofstream(empty, std::ios::binary).flush();
        const std::string one = QDir(dir.path()).filePath("one.txt").toStdString();
        std::ofstream(one, std::ios::binary) << "AAXX 01001\n10015 11725 33302 11087 21113 39467 49822 58041 60171=\n";
        std::vector<std::vector<std::string>> programs = {
            with(common, {"--keep-duplicates", empty}), with(common, {"--keep-duplicates", one}), {argv[0], "--exit"}, {"true"}};
        // The program that --store, --from-log and --help run, with Qt, on the same empty text.
        std::vector<std::string> full = with(common, {"--keep-duplicates", empty});
        full[0] = tool.substr(0, tool.rfind('/') + 1) + "pluvane-synop-full";
        const bool fullFound = QFile::exists(QString::fromStdString(full[0]));
        if (fullFound) programs.push_back(full);
        std::vector<std::vector<double>> times(programs.size());
        for (int round = 0; round < 21; ++round)
            for (size_t p = 0; p < programs.size(); ++p) times[p].push_back(run(programs[p], out).cpuSeconds);
        auto medianMs = [](const std::vector<double>& v) { return bench::median(v) * 1000; };
        std::printf("pluvane-synop on an empty text: %.1f ms of CPU, %.2f of the JSON run's; on one report %.1f ms; a program "
                    "that only loads Qt Core %.1f ms, one that loads the C library alone %.1f ms (medians of 21 in turns)\n",
                    medianMs(times[0]), medianMs(times[0]) / 1000 / json, medianMs(times[1]), medianMs(times[2]),
                    medianMs(times[3]));
        if (fullFound)
            std::printf("pluvane-synop-full (with Qt: what --store, --from-log and --help run) on the empty text: %.1f ms\n",
                        medianMs(times[4]));
    }
    const double jsonPipe = best(keep, true);
    std::printf("pluvane-synop --keep-duplicates, JSON lines to a pipe: %.0f reports per CPU second, %.2f of the library's rate\n",
                libraryReports / jsonPipe, libraryReports / jsonPipe / libraryRate);
    for (const char* format : {"csv", "geojson", "kml"}) {
        const double sec = best(with(keep, {"--format", format}));
        std::printf("pluvane-synop --keep-duplicates, %s to a file: %.0f reports per CPU second, %.2f of the library's rate\n", format,
                    libraryReports / sec, libraryReports / sec / libraryRate);
    }
    // As users run it: repeated bulletins' reports skipped (about half of
    // this text's reports are copies). Rates per report of the text.
    long written = 0;
    const double defaults = best({}, false, &written);
    std::printf("pluvane-synop (defaults), JSON lines to a file: %ld of %ld reports written, %.0f reports of the text per CPU second\n",
                written, libraryReports, libraryReports / defaults);
    const double defaultsPipe = best({}, true);
    std::printf("pluvane-synop (defaults), JSON lines to a pipe: %.0f reports of the text per CPU second\n", libraryReports / defaultsPipe);
    for (const char* format : {"csv", "geojson", "kml"}) {
        const double sec = best({"--format", format});
        std::printf("pluvane-synop (defaults), %s to a file: %.0f reports of the text per CPU second\n", format, libraryReports / sec);
    }
    common.insert(common.begin() + 1, "--keep-duplicates");
    // Storing: each run into a new log, so that nothing is a repeat.
    double store = 1e9;
    for (int i = 0; i < 3; ++i) {
        const std::string log = QDir(dir.path()).filePath(QStringLiteral("log%1.sqlite").arg(i)).toStdString();
        std::vector<std::string> arguments = common;
        arguments.push_back("--store=" + log);
        arguments.push_back(input);
        store = std::min(store, run(arguments, out).cpuSeconds);
    }
    std::printf("pluvane-synop --store into a new log: %.0f reports per CPU second, %.2f times the CPU time of the JSON run\n",
                libraryReports / store, store / json);
    bench::storeFloorRows(QDir(dir.path()).filePath(QStringLiteral("log1.sqlite")).toStdString(), dir.path().toStdString(),
                          [&] { return run(with(common, {input}), out).cpuSeconds; }, libraryBest);
    bench::largeLogRows({tool, "--keep-duplicates"}, input, QDir(dir.path()).filePath(QStringLiteral("log2.sqlite")).toStdString(),
                        dir.path().toStdString());
    {
        // The same text again into a log that holds it: every report is a
        // repeat, found among the keys read from the log and counted up.
        const std::string full = QDir(dir.path()).filePath(QStringLiteral("log0.sqlite")).toStdString();
        std::vector<std::string> arguments = common;
        arguments.push_back("--store=" + full);
        arguments.push_back(input);
        double again = 1e9;
        for (int i = 0; i < 2; ++i) again = std::min(again, run(arguments, out).cpuSeconds);
        std::printf("pluvane-synop --store into the log that holds the text (every report a repeat): %.0f reports per CPU "
                    "second, %.2f times the CPU time of the JSON run\n",
                    libraryReports / again, again / json);
        // As users run it: repeated bulletins skipped before storing, against
        // the JSON run with the same defaults.
        arguments = common;
        arguments.erase(arguments.begin() + 1);
        arguments.push_back("");
        arguments.push_back(input);
        double defaultStore = 1e9;
        for (int i = 0; i < 3; ++i) {
            arguments[arguments.size() - 2] =
                "--store=" + QDir(dir.path()).filePath(QStringLiteral("defaults%1.sqlite").arg(i)).toStdString();
            defaultStore = std::min(defaultStore, run(arguments, out).cpuSeconds);
        }
        std::printf("pluvane-synop --store (defaults) into a new log: %.0f reports of the text per CPU second, %.2f times "
                    "the CPU time of the JSON run with the defaults\n",
                    libraryReports / defaultStore, defaultStore / defaults);
    }
    {
        // Best-of-three rows swing by a third on a loaded machine. The ratio
        // the target is set on, from runs in turns: a burst of load then
        // falls on both, and the medians leave out the odd round.
        constexpr int kRounds = 7;
        std::vector<double> jsonTimes, storeTimes;
        for (int i = 0; i < kRounds; ++i) {
            std::vector<std::string> arguments = common;
            arguments.push_back(input);
            jsonTimes.push_back(run(arguments, out).cpuSeconds);
            const QString log = QDir(dir.path()).filePath(QStringLiteral("turns%1.sqlite").arg(i));
            arguments.insert(arguments.end() - 1, "--store=" + log.toStdString());
            storeTimes.push_back(run(arguments, out).cpuSeconds);
            for (const char* side : {"", "-wal", "-shm"}) QFile::remove(log + QLatin1String(side));
        }
        std::printf("pluvane-synop --store into a new log, in turns with the JSON run (%d rounds, medians): %.2f times its "
                    "CPU time (JSON %.3f s, --store %.3f s)\n",
                    kRounds, median(storeTimes) / median(jsonTimes), median(jsonTimes), median(storeTimes));
    }
    {
        // Reading the log back, as a listener exports tonight's reports for
        // a web page: every stored report decoded again from its groups.
        const std::string full = QDir(dir.path()).filePath(QStringLiteral("log0.sqlite")).toStdString();
        for (const char* format : {"json", "geojson"}) {
            double sec = 1e9;
            for (int i = 0; i < 3; ++i)
                sec = std::min(sec, run({tool, "--from-log=" + full, "--format", format}, out).cpuSeconds);
            const long rows = countLines(out);
            std::printf("pluvane-synop --from-log, %s to a file: %ld reports, %.0f reports per CPU second, %.2f times the "
                        "CPU time per report of the JSON run on the text\n",
                        format, rows, rows / sec, (sec / rows) / (json / jsonLines));
        }
    }
    {
        // Live, behind a receiver: the text a line at a time through a pipe
        // (the first 5,000 or so reports, a short pause every ten lines),
        // each report written as soon as it is complete.
        const std::string_view part = std::string_view(stream).substr(0, std::min<size_t>(stream.size(), 400000));
        const Child fed = bench::runFedByLines({tool, "--keep-duplicates", "--received", "2026-03-28T23:00Z"}, part, 10, 500, out);
        const long reports = countLines(out);
        std::printf("pluvane-synop fed a line at a time through a pipe: %ld reports, %.1f microseconds of CPU a report "
                    "(%.1f times the JSON run's per report; a teletype line comes every few seconds)\n",
                    reports, fed.cpuSeconds / reports * 1e6, (fed.cpuSeconds / reports) / (json / jsonLines));
    }
    bench::realTrafficToolRows(tool, dir.path().toStdString());
    if (argc > 3) {
        common[0] = argv[3];
        const double earlierJson = best({});
        const std::string log = QDir(dir.path()).filePath(QStringLiteral("earlier.sqlite")).toStdString();
        std::vector<std::string> arguments = common;
        arguments.push_back("--store=" + log);
        arguments.push_back(input);
        const double earlierStore = run(arguments, out).cpuSeconds;
        std::printf("earlier build: JSON %.0f reports per CPU second (this one %.2f times faster), --store %.0f (%.2f times)\n",
                    libraryReports / earlierJson, earlierJson / json, libraryReports / earlierStore, earlierStore / store);
    }
    return 0;
}

#include "RealTrafficRows.h"

#include "ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace bench {
void realTrafficToolRows(const std::string& tool, const std::string& workDir)
{
    const char* shared = std::getenv("PLUVANE_SHARED_DATA");
    const std::string file = std::string(shared && *shared ? shared : "/work/shared/data") +
                             "/synop-real/ogimet-land-2026-03-01-15.txt";
    std::ifstream in(file, std::ios::binary);
    if (!in) return;
    std::stringstream text;
    text << in.rdbuf();
    const std::string out = workDir + "/real-out.txt";
    const std::vector<std::string> common = {tool, "--keep-duplicates", "--received", "2026-03-16T00:00Z"};
    auto with = [&](const std::vector<std::string>& more) {
        std::vector<std::string> a = common;
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    // Each way in turns with the JSON run to a file, 9 rounds, medians: the
    // ratios hold on a loaded machine where single bests do not.
    struct Way {
        const char* name;
        std::vector<std::string> arguments;
        bool toPipe = false;
        bool fromPipe = false;  // the text written into its standard input as fast as it reads
    };
    std::vector<Way> ways = {
        {"JSON lines to a pipe", with({file}), true},
        {"JSON lines from a pipe (cat FILE | pluvane-synop)", common, false, true},
        {"CSV to a file", with({"--format", "csv", file})},
        {"GeoJSON to a file", with({"--format", "geojson", file})},
        {"KML to a file", with({"--format", "kml", file})},
        {"--store into a new log", {}},
    };
    constexpr int kRounds = 9;
    std::vector<double> jsonTimes;
    std::vector<std::vector<double>> times(ways.size());
    long reports = 0;
    for (int round = 0; round < kRounds; ++round) {
        jsonTimes.push_back(run(with({file}), out).cpuSeconds);
        reports = countLines(out);
        for (size_t w = 0; w < ways.size(); ++w) {
            std::vector<std::string> arguments = ways[w].arguments;
            const std::string log = workDir + "/real-" + std::to_string(round) + ".sqlite";
            if (arguments.empty()) arguments = with({"--store=" + log, file});
            times[w].push_back(ways[w].fromPipe ? runFedByLines(arguments, text.str(), 1, 0, out).cpuSeconds
                                                : run(arguments, ways[w].toPipe ? std::string() : out).cpuSeconds);
            for (const char* side : {"", "-wal", "-shm"}) std::remove((log + side).c_str());
        }
    }
    const double json = median(jsonTimes);
    std::printf("real traffic as users run it (%ld reports; medians of %d in turns with the JSON run to a file, %.1f ms):\n",
                reports, kRounds, json * 1000);
    for (size_t w = 0; w < ways.size(); ++w)
        std::printf("  pluvane-synop --keep-duplicates, %s: %.1f ms of CPU, %.2f times the JSON run's\n", ways[w].name,
                    median(times[w]) * 1000, median(times[w]) / json);
    // Behind a receiver: a line at a time through a pipe, a short pause
    // every ten lines.
    const Child fed = runFedByLines(common, text.str(), 10, 500, out);
    const long fedReports = countLines(out);
    std::printf("  pluvane-synop fed a line at a time through a pipe: %ld reports, %.1f microseconds of CPU a report "
                "(%.1f times the JSON run's per report)\n",
                fedReports, fed.cpuSeconds / fedReports * 1e6, (fed.cpuSeconds / fedReports) / (json / reports));
}

}  // namespace bench

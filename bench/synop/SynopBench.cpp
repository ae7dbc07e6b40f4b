// synop_bench: reports decoded per second by the stream assembler and
// decoder against a naive regular-expression decoder on the same text, and
// the process's memory at the start and end of a long stream.
//
//   synop_bench [megabytes of streamed text for the memory run, default 64]
#include "NaiveDecoder.h"
#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

long statusKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
    return -1;
}

// The corpus with its day and hour changed, so that every copy is new text
// and the repeat filter cannot shortcut the work.
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

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Time on this thread's core: the machine is shared, and waiting for a core
// is not decoding time (for ours or for the peer).
double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// Every report of the stream decoded; repeats too, as the naive decoder cannot tell them.
long decodeStream(const std::string& stream, const synop::DecoderOptions& options, long& temperatures)
{
    long reports = 0;
    synop::AssemblerOptions keepRepeats;
    keepRepeats.dropDuplicates = false;
    synop::StreamAssembler assembler(
        [&](synop::AssembledReport&& r) {
            const synop::DecodedReport d = synop::decodeReport(std::move(r), options);
            ++reports;
            if (d.airTempC) ++temperatures;
        },
        keepRepeats);
    for (size_t at = 0; at < stream.size(); at += 256) assembler.feed(std::string_view(stream).substr(at, 256));
    assembler.finish();
    return reports;
}

}  // namespace

int main(int argc, char** argv)
{
    const long memoryMegabytes = argc > 1 ? std::atol(argv[1]) : 64;
    const std::string corpus = readFile(SYNOP_CORPUS_DIR "/garbled.txt") + readFile(SYNOP_CORPUS_DIR "/clean.txt");
    std::string stream;
    for (int n = 0; n < 200; ++n) stream += variant(corpus, n);

    // Throughput: the same text, fed in teletype-sized chunks to ours, once
    // as pluvane-synop and the station log decode (values only) and once
    // with the group-by-group view the report window shows.
    synop::DecoderOptions valuesOnly;
    valuesOnly.describeGroups = false;
    long oursTemperatures = 0;
    decodeStream(stream, valuesOnly, oursTemperatures);  // warm-up: the allocator and caches settle
    oursTemperatures = 0;
    double start = threadSeconds();
    const long ours = decodeStream(stream, valuesOnly, oursTemperatures);
    const double oursSeconds = threadSeconds() - start;
    long describedTemperatures = 0;
    start = threadSeconds();
    const long described = decodeStream(stream, synop::DecoderOptions{}, describedTemperatures);
    const double describedSeconds = threadSeconds() - start;

    start = threadSeconds();
    const bench::NaiveCounts naive = bench::naiveDecode(stream);
    const double naiveSeconds = threadSeconds() - start;

    const double oursRate = ours / oursSeconds;
    const double describedRate = described / describedSeconds;
    const double naiveRate = naive.reports / naiveSeconds;
    std::printf("text: %.1f MB, %ld reports found by ours, %ld by the naive decoder\n", stream.size() / 1e6, ours,
                naive.reports);
    std::printf("air temperatures decoded: ours %ld, naive %ld\n", oursTemperatures, naive.temperatures);
    std::printf("reports per second of thread CPU time: ours %.0f, naive regex decoder %.0f, ratio %.2f\n", oursRate, naiveRate,
                oursRate / naiveRate);
    std::printf("with the group-by-group view: ours %.0f reports per second, ratio %.2f\n", describedRate,
                describedRate / naiveRate);

    // Memory: a long stream of ever-new reports through one assembler, as a
    // component left running would see. An hour at 75 baud is about 36 kB;
    // this feeds many hours' worth.
    const long rssAtStart = statusKilobytes("VmRSS:");
    long rssAfterWarmUp = -1;
    long decoded = 0;
    synop::StreamAssembler assembler([&](synop::AssembledReport&& r) {
        synop::decodeReport(r);
        ++decoded;
    });
    size_t fed = 0;
    const size_t target = static_cast<size_t>(memoryMegabytes) * 1000000;
    const auto memoryStart = Clock::now();
    for (int n = 0; fed < target; ++n) {
        const std::string text = variant(corpus, n + 1000 * (n / 280));
        for (size_t at = 0; at < text.size(); at += 64) assembler.feed(std::string_view(text).substr(at, 64));
        fed += text.size();
        if (rssAfterWarmUp < 0 && fed >= target / 10) rssAfterWarmUp = statusKilobytes("VmRSS:");
    }
    const long rssAtEnd = statusKilobytes("VmRSS:");
    std::printf("memory run: %.0f MB streamed (%.0f hours at 75 baud), %ld reports in %.1f s\n", fed / 1e6,
                fed / 36000.0, decoded, seconds(memoryStart));
    std::printf("resident memory: %ld kB at start, %ld kB after 10%%, %ld kB at end, growth after warm-up %.2f%%\n",
                rssAtStart, rssAfterWarmUp, rssAtEnd, 100.0 * (rssAtEnd - rssAfterWarmUp) / rssAfterWarmUp);
    return 0;
}

#include "DecodingRun.h"

#include "StandardOutput.h"

#include "synopdecoder/ObservationMillis.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace synop::cli {
namespace {

// Reports stored in the open transaction count once it is committed: a
// batch that fails (a full disk) is rolled back whole.
class StoreCounter {
public:
    explicit StoreCounter(ReportStore* log) : log_(log) {}
    bool active() const { return log_ && !failed_; }
    void begin()
    {
        if (active() && !log_->beginBatch()) stop();
    }
    void store(const AssembledReport& assembled, const DecodedReport& decoded, bool checks)
    {
        if (!active()) return;
        bool repeat = false;
        if (!log_->store(assembled, decoded, checks, repeat)) stop();
        else if (!repeat) ++pending_;
    }
    void storeText(std::string_view text, const std::string& source)
    {
        if (active() && !log_->storeText(text, source)) stop();
    }
    void commit()
    {
        if (!active()) return;
        if (!log_->commitBatch()) {
            stop();
            return;
        }
        stored_ += pending_;
        pending_ = 0;
    }
    bool failed() const { return failed_; }
    long stored() const { return stored_; }

private:
    void stop()
    {
        log_->rollbackBatch();
        pending_ = 0;
        failed_ = true;
        std::fprintf(stderr, "pluvane-synop: storing stopped: %s\n", log_->lastError().c_str());
    }

    ReportStore* log_;
    long pending_ = 0;
    long stored_ = 0;
    bool failed_ = false;
};

// The reports of a bulletin share their day and hour, and a day's traffic
// has a few hundred times at most: the answers are kept by the figures
// they were worked out from, in a small table that forgets on a clash.
class ObservationTimes {
public:
    explicit ObservationTimes(int64_t receivedMs) : receivedMs_(receivedMs) {}
    std::optional<int64_t> of(const DecodedReport& r)
    {
        const std::optional<uint32_t> key = keyOf(r);
        if (!key) return observationMillis(r, receivedMs_);
        Known& known = known_[(*key * 2654435761u) >> (32 - kKnownBits)];
        if (known.key != *key) {
            known.ms = observationMillis(r, receivedMs_);
            known.key = *key;
        }
        return known.ms;
    }

private:
    static constexpr int kKnownBits = 8;
    // Day, hour, minute and month, each 0 to 99 or not given; none when a
    // figure lies outside that.
    static std::optional<uint32_t> keyOf(const DecodedReport& r)
    {
        uint32_t key = 0;
        bool inRange = true;
        auto add = [&](const std::optional<int>& figure) {
            inRange = inRange && (!figure || (*figure >= 0 && *figure <= 99));
            key = key * 101 + (figure ? static_cast<uint32_t>(*figure) : 100);
        };
        add(r.day);
        add(r.hour);
        add(r.minute);
        add(r.month);
        return inRange ? std::optional<uint32_t>(key) : std::nullopt;
    }
    struct Known {
        uint32_t key = UINT32_MAX;  // no key is this large: 101^4 - 1 at most
        std::optional<int64_t> ms;
    };
    int64_t receivedMs_;
    std::array<Known, 1 << kKnownBits> known_;
};

// Reads a file through, a chunk at a time; says why it could not on
// standard error. False when it could not be opened or read to its end.
template <typename Feed>
bool readFile(const std::string& name, char* chunk, size_t chunkSize, Feed feed)
{
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        std::fprintf(stderr, "pluvane-synop: cannot read %s: file to open is a directory\n", name.c_str());
        return false;
    }
    if (fd < 0) {
        std::fprintf(stderr, "pluvane-synop: cannot read %s: %s\n", name.c_str(), std::strerror(errno));
        return false;
    }
    bool ok = true;
    while (true) {
        const ssize_t got = ::read(fd, chunk, chunkSize);
        if (got > 0) {
            feed(chunk, static_cast<size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            std::fprintf(stderr, "pluvane-synop: error reading %s: %s\n", name.c_str(), std::strerror(errno));
            ok = false;
            break;
        }
    }
    ::close(fd);
    return ok;
}

}  // namespace

bool outputWritten()
{
    if (standardOutput().flush()) return true;
    std::fprintf(stderr, "pluvane-synop: cannot write the output: %s\n", standardOutput().error().c_str());
    return false;
}

int decodeText(const DecodingRun& run)
{
    long reports = 0, selected = 0;
    int status = 0;
    StoreCounter storing(run.store);
    DecodedReport decoded;  // used again for every report, as the assembler's report is
    StationPlace place;
    ObservationTimes observationTimes(run.receivedMs);
    StreamAssembler assembler(
        [&](AssembledReport&& report) {
            decodeReport(report, decoded, run.decoder);
            ++reports;
            const std::optional<int64_t> observed = observationTimes.of(decoded);
            if (!run.selection.accepts(decoded, observed)) return;
            ++selected;
            if (run.writer) {
                stationPlace(decoded, place);
                run.writer->add(decoded, place, observed);
            }
            storing.store(report, decoded, run.decoder.plausibilityChecks);
        },
        run.assembler);

    if (run.writer) run.writer->begin();
    // A file's reports and text go into the log in one transaction per chunk.
    auto feed = [&](const char* data, size_t size, const std::string& source) {
        storing.begin();
        storing.storeText(std::string_view(data, size), source);
        assembler.feed(std::string_view(data, size));
        storing.commit();
        // Each report leaves as soon as it is complete.
        if (run.writer) run.writer->flush();
        standardOutput().flush();
    };
    // One for every file, not zeroed: its pages are touched only as far as
    // the files fill it, and each page first touched is a page fault. A
    // chunk is the log's transaction, whose best size is 256 kB; without a
    // log a quarter of that reads as fast and touches a quarter of the pages
    // (and of the output's, which leaves after each chunk).
    const size_t chunkSize = run.store ? 256 * 1024 : 64 * 1024;
    const std::unique_ptr<char[]> chunk(new char[chunkSize]);
    const std::string standardInput = "standard input";
    for (const std::string& name : run.files) {
        if (name == "-") {
            // Whatever a live pipe has delivered is decoded at once, not when
            // a buffer fills; a whole file behind the pipe comes a chunk at a
            // time, as from a file (a read, and the output's flush, per 4 kB
            // cost a tenth more).
            while (true) {
                const ssize_t got = ::read(STDIN_FILENO, chunk.get(), chunkSize);
                if (got > 0) feed(chunk.get(), static_cast<size_t>(got), standardInput);
                else if (got == 0) break;
                else if (errno != EINTR) {
                    std::fprintf(stderr, "pluvane-synop: error reading standard input: %s\n", std::strerror(errno));
                    status = 1;
                    break;
                }
            }
        } else if (!readFile(name, chunk.get(), chunkSize, [&](const char* data, size_t size) { feed(data, size, name); })) {
            status = 1;
        }
        // A file's last report does not run into the next file.
        storing.begin();
        assembler.finish();
        storing.commit();
    }
    if (run.writer) run.writer->end();
    if (!outputWritten()) status = 1;
    if (storing.failed()) status = 1;

    std::fprintf(stderr, "pluvane-synop: %ld report%s, %zu repeated report%s skipped", reports, reports == 1 ? "" : "s",
                 assembler.duplicatesDropped(), assembler.duplicatesDropped() == 1 ? "" : "s");
    if (selected != reports) std::fprintf(stderr, ", %ld selected", selected);
    if (run.writer) std::fprintf(stderr, "%s", run.writer->summary().c_str());
    if (run.store) std::fprintf(stderr, ", %ld stored in %s", storing.stored(), run.store->path().c_str());
    std::fprintf(stderr, "\n");
    return status;
}

}  // namespace synop::cli

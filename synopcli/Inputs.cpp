#include "Inputs.h"

#include "StandardOutput.h"

#include "synoplog/ObservationTime.h"
#include "synoplog/ReportLog.h"

#include <QFile>

#include <memory>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace synop::cli {
namespace {

// Reports stored in the open transaction count once it is committed: a
// batch that fails (a full disk) is rolled back whole.
class StoreCounter {
public:
    explicit StoreCounter(ReportLog* log) : log_(log) {}
    bool active() const { return log_ && !failed_; }
    void begin()
    {
        if (active() && !log_->beginBatch()) stop();
    }
    void store(const AssembledReport& assembled, const DecodedReport& decoded, const QDateTime& received, bool checks)
    {
        if (!active()) return;
        const auto result = log_->store(assembled, decoded, received, checks);
        if (!result) stop();
        else if (result->outcome != StoreOutcome::Repeat) ++pending_;
    }
    void storeText(std::string_view text, const QDateTime& received, const QString& source)
    {
        if (active() && !log_->storeText(text, received, source)) stop();
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
        std::fprintf(stderr, "pluvane-synop: storing stopped: %s\n", qPrintable(log_->lastError()));
    }

    ReportLog* log_;
    long pending_ = 0;
    long stored_ = 0;
    bool failed_ = false;
};

// The reports of a bulletin share their day and hour, and a day's traffic
// has a few hundred times at most: the answers are kept by the figures
// they were worked out from, in a small table that forgets on a clash.
class ObservationTimes {
public:
    explicit ObservationTimes(const QDateTime& receivedUtc) : received_(receivedUtc) {}
    const QDateTime& of(const DecodedReport& r)
    {
        const std::optional<uint32_t> key = keyOf(r);
        if (!key) {
            spare_ = observationTime(r, received_).value_or(QDateTime());
            return spare_;
        }
        Known& known = known_[(*key * 2654435761u) >> (32 - kKnownBits)];
        if (known.key != *key) {
            known.time = observationTime(r, received_).value_or(QDateTime());
            known.key = *key;
        }
        return known.time;
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
        QDateTime time;
    };
    QDateTime received_;
    std::array<Known, 1 << kKnownBits> known_;
    QDateTime spare_;
};

// The output's last bytes written out; a failed write said on standard error.
bool outputWritten()
{
    if (standardOutput().flush()) return true;
    std::fprintf(stderr, "pluvane-synop: cannot write the output: %s\n", standardOutput().error().c_str());
    return false;
}

}  // namespace

int decodeText(const DecodingRun& run)
{
    long reports = 0, selected = 0;
    int status = 0;
    StoreCounter storing(run.log);
    DecodedReport decoded;  // used again for every report, as the assembler's report is
    StationPlace place;
    ObservationTimes observationTimes(run.receivedUtc);
    StreamAssembler assembler(
        [&](AssembledReport&& report) {
            decodeReport(report, decoded, run.decoder);
            ++reports;
            const QDateTime& observed = observationTimes.of(decoded);
            if (!run.selection.accepts(decoded, observed)) return;
            ++selected;
            if (run.writer) {
                stationPlace(decoded, place);
                run.writer->add(decoded, place, observed);
            }
            storing.store(report, decoded, run.receivedUtc, run.decoder.plausibilityChecks);
        },
        run.assembler);

    if (run.writer) run.writer->begin();
    // A file's reports and text go into the log in one transaction per chunk.
    auto feed = [&](const char* data, size_t size, const QString& source) {
        storing.begin();
        storing.storeText(std::string_view(data, size), run.receivedUtc, source);
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
    const qint64 chunkSize = run.log ? 256 * 1024 : 64 * 1024;
    const std::unique_ptr<char[]> chunk(new char[static_cast<size_t>(chunkSize)]);
    for (const QString& name : run.files) {
        if (name == QLatin1String("-")) {
            // Whatever a live pipe has delivered is decoded at once, not when a buffer fills.
            char buffer[4096];
            while (true) {
                const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
                if (got > 0) feed(buffer, static_cast<size_t>(got), QStringLiteral("standard input"));
                else if (got == 0) break;
                else if (errno != EINTR) {
                    std::fprintf(stderr, "pluvane-synop: error reading standard input: %s\n", std::strerror(errno));
                    status = 1;
                    break;
                }
            }
        } else {
            QFile in(name);
            if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
                std::fprintf(stderr, "pluvane-synop: cannot read %s: %s\n", qPrintable(name), qPrintable(in.errorString()));
                status = 1;
                continue;
            }
            while (true) {
                const qint64 got = in.read(chunk.get(), chunkSize);
                if (got <= 0) break;
                feed(chunk.get(), static_cast<size_t>(got), name);
            }
            if (in.error() != QFileDevice::NoError) {
                std::fprintf(stderr, "pluvane-synop: error reading %s: %s\n", qPrintable(name), qPrintable(in.errorString()));
                status = 1;
            }
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
    if (run.writer) std::fprintf(stderr, "%s", qPrintable(run.writer->summary()));
    if (run.log) std::fprintf(stderr, ", %ld stored in %s", storing.stored(), qPrintable(run.log->path()));
    std::fprintf(stderr, "\n");
    return status;
}

int writeFromLog(const ReportLog& log, const Selection& selection, ReportWriter& writer)
{
    long written = 0;
    writer.begin();
    const bool ok = log.forEach(selection.logFilter(), [&](const LoggedReport& r) {
        if (!selection.accepts(r.report, r.reportTime())) return true;
        writer.add(r.report, r.place, r.observedUtc);
        ++written;
        return true;
    });
    writer.end();
    const bool outputOk = outputWritten();
    std::fprintf(stderr, "pluvane-synop: %ld report%s from %s%s\n", written, written == 1 ? "" : "s",
                 qPrintable(log.path()), qPrintable(writer.summary()));
    if (!ok) {
        std::fprintf(stderr, "pluvane-synop: reading stopped: %s\n", qPrintable(log.lastError()));
        return 1;
    }
    return outputOk ? 0 : 1;
}

}  // namespace synop::cli

#pragma once
// Puts what the component decodes into the station log, a batch per turn
// of the event loop. While the log cannot be written (disk full, read-only,
// held too long by another writer) the batch is kept in memory and offered
// again with the next one, so nothing is lost as long as memory allows.
#include "synoplog/ReportLog.h"

#include <QString>
#include <deque>
#include <memory>
#include <string>

namespace synop {

class ReportRecorder {
public:
    static constexpr size_t kMaxKeptReports = 5000;
    static constexpr size_t kMaxKeptTextBytes = 4 << 20;

    explicit ReportRecorder(std::shared_ptr<ReportLog> log);

    void addText(std::string text, const QDateTime& receivedUtc, const QString& source);
    void addReport(const AssembledReport& assembled, DecodedReport decoded, const QDateTime& receivedUtc,
                   bool plausibilityChecks);

    struct Outcome {
        bool stored = false;        // something went into the log
        bool rowsReplaced = false;  // a correction or a better copy took a report's place
        QString problem;            // set once, when the log stops taking reports
        bool recovered = false;     // the log takes reports again, the kept ones included
        int64_t lostWhileFailing = 0;  // with recovered: reports memory could not hold meanwhile
    };
    Outcome flush();

    // The reports waiting in memory, as the list shows them.
    const std::deque<LoggedReport>& keptReports() const { return keptShown_; }
    // Reports that fell out of memory, the oldest first, while the log failed.
    int64_t lostReports() const { return lost_; }
    bool failing() const { return failing_; }

private:
    struct PendingReport {
        AssembledReport assembled;
        DecodedReport decoded;
        QDateTime receivedUtc;
        bool plausibilityChecks;
    };
    struct PendingText {
        std::string text;
        QDateTime receivedUtc;
        QString source;
    };
    bool storeAll(Outcome& outcome);

    std::shared_ptr<ReportLog> log_;
    std::deque<PendingReport> reports_;
    std::deque<LoggedReport> keptShown_;  // the same reports, for the list, while the log fails
    std::deque<PendingText> texts_;
    size_t textBytes_ = 0;
    int64_t lost_ = 0;
    bool failing_ = false;
};

}  // namespace synop

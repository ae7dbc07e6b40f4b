#include "ReportRecorder.h"

#include "synoplog/ObservationTime.h"

namespace synop {
namespace {

LoggedReport shownFromMemory(const DecodedReport& decoded, const QDateTime& receivedUtc)
{
    LoggedReport shown;
    shown.report = decoded;
    shown.place = stationPlace(decoded);
    shown.observedUtc = observationTime(decoded, receivedUtc).value_or(QDateTime());
    shown.receivedUtc = shown.lastHeardUtc = receivedUtc;
    return shown;
}

}  // namespace

ReportRecorder::ReportRecorder(std::shared_ptr<ReportLog> log) : log_(std::move(log))
{
    failing_ = !log_ || !log_->isWritable();
}

void ReportRecorder::addText(std::string text, const QDateTime& receivedUtc, const QString& source)
{
    textBytes_ += text.size();
    texts_.push_back({std::move(text), receivedUtc, source});
    while (textBytes_ > kMaxKeptTextBytes && texts_.size() > 1) {
        textBytes_ -= texts_.front().text.size();
        texts_.pop_front();
    }
}

void ReportRecorder::addReport(const AssembledReport& assembled, DecodedReport decoded, const QDateTime& receivedUtc,
                               bool plausibilityChecks)
{
    // Shown from memory until the log takes it.
    if (failing_) keptShown_.push_back(shownFromMemory(decoded, receivedUtc));
    reports_.push_back({assembled, std::move(decoded), receivedUtc, plausibilityChecks});
    if (reports_.size() > kMaxKeptReports) {
        reports_.pop_front();
        ++lost_;
    }
    if (keptShown_.size() > kMaxKeptReports) keptShown_.pop_front();
}

bool ReportRecorder::storeAll(Outcome& outcome)
{
    if (!log_->beginBatch()) return false;
    for (const PendingText& t : texts_)
        if (!log_->storeText(t.text, t.receivedUtc, t.source)) return log_->rollbackBatch(), false;
    bool replaced = false;
    for (const PendingReport& r : reports_) {
        const auto result = log_->store(r.assembled, r.decoded, r.receivedUtc, r.plausibilityChecks);
        if (!result) return log_->rollbackBatch(), false;
        replaced = replaced || result->replacedId != 0;
    }
    if (!log_->commitBatch()) return false;
    outcome.stored = !reports_.empty();
    outcome.rowsReplaced = replaced;
    return true;
}

ReportRecorder::Outcome ReportRecorder::flush()
{
    Outcome outcome;
    if (reports_.empty() && texts_.empty()) return outcome;
    const int setAsideBefore = log_ ? log_->filesSetAside() : 0;
    bool stored = log_ && storeAll(outcome);
    // A batch that met a damaged page failed once, and the file went aside:
    // the new log takes the batch at once, so the one message is the log's.
    if (!stored && log_ && log_->filesSetAside() != setAsideBefore && log_->isWritable()) stored = storeAll(outcome);
    if (stored) {
        outcome.recovered = failing_;
        outcome.lostWhileFailing = lost_;
        lost_ = 0;
        if (failing_) {
            // The reports listed from memory are now in the log: read it afresh.
            outcome.rowsReplaced = true;
            keptShown_.clear();
        }
        failing_ = false;
        reports_.clear();
        texts_.clear();
        textBytes_ = 0;
        return outcome;
    }
    if (!failing_) {
        failing_ = true;
        outcome.problem = log_ ? log_->lastError() : QStringLiteral("no station log");
        // This batch's reports were not listed from memory yet.
        for (const PendingReport& r : reports_) keptShown_.push_back(shownFromMemory(r.decoded, r.receivedUtc));
    }
    return outcome;
}

}  // namespace synop

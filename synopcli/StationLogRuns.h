#pragma once
// The station log's side of pluvane-synop: --store keeps the decoded
// reports in it, --from-log writes the reports it holds.
#include "DecodingRun.h"

#include "synoplog/ReportLog.h"

#include <QDateTime>

namespace synop::cli {

// The log as a decoding run stores into it; every report and text as
// received at one time.
class StationLogStore final : public ReportStore {
public:
    StationLogStore(ReportLog& log, const QDateTime& receivedUtc) : log_(log), received_(receivedUtc) {}
    bool beginBatch() override { return log_.beginBatch(); }
    bool store(const AssembledReport& assembled, const DecodedReport& decoded, bool plausibilityChecks,
               bool& repeat) override;
    bool storeText(std::string_view text, const std::string& source) override;
    bool commitBatch() override { return log_.commitBatch(); }
    void rollbackBatch() override { log_.rollbackBatch(); }
    std::string lastError() const override { return log_.lastError().toStdString(); }
    std::string path() const override { return log_.path().toStdString(); }

private:
    ReportLog& log_;
    QDateTime received_;
};

// Writes the log's current readings that the selection accepts. Returns the exit status.
int writeFromLog(const ReportLog& log, const Selection& selection, ReportWriter& writer);

}  // namespace synop::cli

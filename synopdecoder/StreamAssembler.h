#pragma once
// Finds bulletins and their reports in teletype text as it arrives, in
// chunks split anywhere, and hands on each report as soon as it is complete.
//
// The text is what a radio teletype prints: any mix of CR, LF and CR CR LF,
// SOH/ETX and ZCZC/NNNN framing, blank lines, letters/figures shift errors,
// characters hit by bit errors, fades that drop characters. Memory is
// bounded whatever arrives: lines, reports and the duplicate memory all
// have a ceiling.
#include "synopdecoder/RepeatFilter.h"
#include "synopdecoder/Report.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <optional>
#include <vector>

namespace synop {

struct AssemblerOptions {
    bool dropDuplicates = true;      // a repeated bulletin's reports are passed on once
    bool correctShiftErrors = true;  // groups printed in letters case are read as figures
};

class StreamAssembler {
public:
    using ReportSink = std::function<void(AssembledReport&&)>;

    explicit StreamAssembler(ReportSink sink, AssemblerOptions options = {});

    void feed(std::string_view text);
    // End of the stream: a report still open is handed on.
    void finish();

    void setOptions(const AssemblerOptions& options) { options_ = options; }
    size_t duplicatesDropped() const { return duplicatesDropped_; }

    static constexpr size_t kMaxLineLength = 1024;
    static constexpr size_t kMaxReportGroups = 120;
    static constexpr size_t kDuplicateMemory = 4096;

private:
    enum class Mode { Idle, Land, Ship, Buoy, OtherForm };

    void takeLine(std::string_view line);
    bool takeHeading(const std::vector<std::string_view>& tokens);
    void takeTokens(std::vector<std::string_view>& tokens);
    bool isPlainLanguage(const std::vector<std::string_view>& tokens) const;
    bool looksLikeLandReport(const std::vector<std::string_view>& tokens) const;
    bool startsReport(const std::vector<std::string_view>& tokens, size_t at) const;
    bool startsNewReport(const std::vector<std::string_view>& tokens, size_t at) const;
    bool continuesOpenReport(const std::vector<std::string_view>& tokens) const;
    void startReport(ReportForm form);
    void appendGroup(std::string_view token, bool fiveFigures);
    void appendRaw(std::string_view piece);
    [[gnu::noinline]] void appendRepairedGroup(std::string_view token);  // letters case, groups run together
    // Kept out of appendGroup, which runs for every group: its set-up is the cost of a long function.
    [[gnu::noinline]] void cutReport();
    void closeReport(bool terminated);
    void endBulletin();

    ReportSink sink_;
    AssemblerOptions options_;
    std::string line_;
    std::vector<std::string_view> tokens_;  // the current line's, pointing into line_
    size_t lineNumber_ = 0;

    Mode mode_ = Mode::Idle;
    std::optional<BulletinHeading> heading_;
    std::string landDateGroup_;
    bool inReport_ = false;
    AssembledReport current_;
    size_t rawLine_ = 0;  // line of the open report's last group, to rebuild its line breaks
    std::string rawText_ = std::string(4096, '\0');  // the open report's text: its first rawSize_ bytes
    size_t rawSize_ = 0;

    RepeatFilter repeats_{kDuplicateMemory};
    size_t duplicatesDropped_ = 0;
};

}  // namespace synop

#pragma once
// What pluvane-synop writes: each --format is a ReportWriter made by its
// entry in a table that a format of its own file joins with one
// OutputFormatRegistration, so that the decoding and log-reading sides of
// the tool never change for a new format.
#include "synopdecoder/Report.h"
#include "synopdecoder/StationPlace.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace synop::cli {

using OutputSink = std::function<void(std::string_view)>;

class ReportWriter {
public:
    virtual ~ReportWriter() = default;
    virtual void begin() {}
    // Each report as it is decoded or read from the log; observedMs (ms
    // since 1970 UTC) none when unknown.
    virtual void add(const DecodedReport& report, const StationPlace& place, std::optional<int64_t> observedMs) = 0;
    // What is held handed to the output: the input has paused.
    virtual void flush() {}
    virtual void end() {}
    // Said on standard error after the count of reports: ", 3 without a position left out".
    virtual std::string summary() const { return {}; }
};

struct OutputFormat {
    std::string name;         // the word after --format
    std::string description;  // for --help
    std::function<std::unique_ptr<ReportWriter>(OutputSink)> make;
};

// Every format, the built-in ones first.
const std::vector<OutputFormat>& outputFormats();
const OutputFormat* outputFormat(std::string_view name);

// A format defined in a file of its own: `const OutputFormatRegistration kMine{{"mine", "...", make}};`
struct OutputFormatRegistration {
    explicit OutputFormatRegistration(OutputFormat format);
};

}  // namespace synop::cli

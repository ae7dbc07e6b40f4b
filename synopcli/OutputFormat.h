#pragma once
// What pluvane-synop writes: each --format is a ReportWriter made by its
// entry in a table that a format of its own file joins with one
// OutputFormatRegistration, so that the decoding and log-reading sides of
// the tool never change for a new format.
#include "synopdecoder/Report.h"
#include "synopdecoder/StationPlace.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace synop::cli {

using OutputSink = std::function<void(const QByteArray&)>;

class ReportWriter {
public:
    virtual ~ReportWriter() = default;
    virtual void begin() {}
    // Each report as it is decoded or read from the log; observedUtc invalid when unknown.
    virtual void add(const DecodedReport& report, const StationPlace& place, const QDateTime& observedUtc) = 0;
    // What is held handed to the output: the input has paused.
    virtual void flush() {}
    virtual void end() {}
    // Said on standard error after the count of reports: ", 3 without a position left out".
    virtual QString summary() const { return {}; }
};

struct OutputFormat {
    QString name;         // the word after --format
    QString description;  // for --help
    std::function<std::unique_ptr<ReportWriter>(OutputSink)> make;
};

// Every format, the built-in ones first.
const std::vector<OutputFormat>& outputFormats();
const OutputFormat* outputFormat(const QString& name);

// A format defined in a file of its own: `const OutputFormatRegistration kMine{{"mine", "...", make}};`
struct OutputFormatRegistration {
    explicit OutputFormatRegistration(OutputFormat format);
};

}  // namespace synop::cli

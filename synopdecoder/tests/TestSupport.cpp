#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

namespace synop::testing {

std::vector<DecodedReport> decodeText(const std::string& text, size_t chunkSize, AssemblerOptions options)
{
    std::vector<DecodedReport> reports;
    StreamAssembler assembler([&](AssembledReport&& r) { reports.push_back(decodeReport(r)); }, options);
    if (chunkSize == 0) chunkSize = text.size() + 1;
    for (size_t at = 0; at < text.size(); at += chunkSize) assembler.feed(std::string_view(text).substr(at, chunkSize));
    assembler.finish();
    return reports;
}

DecodedReport decodeLand(const std::string& report, const std::string& dateGroup)
{
    const auto reports = decodeText("AAXX " + dateGroup + "\r\n" + report + "=\r\n");
    EXPECT_EQ(reports.size(), 1u) << report;
    return reports.empty() ? DecodedReport{} : reports.front();
}

QByteArray readCorpus(const char* name)
{
    QFile file(QStringLiteral(SYNOP_CORPUS_DIR "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

bool hasWarning(const DecodedReport& report, const std::string& part)
{
    for (const std::string& w : report.warnings)
        if (w.find(part) != std::string::npos) return true;
    return false;
}

}  // namespace synop::testing

// synop_faded_analysis: the surface analysis of one round of the card
// server's demo broadcast decoded from clean text, against the same round
// sent as the demo sends it (50 Bd RTTY at 3 dB SNR in 3 kHz with a slow
// 6 dB fade), demodulated and decoded: the garbled and lost reports must
// not move the chart. Prints the RMS difference of the two analysed fields
// where both are drawn and how far the isobars moved, for the demo as sent
// and for worse signals and HF channels.
//
//   synop_faded_analysis [--check] [seed, default 1]
// With --check only the demo as sent, failing (exit 1) when the fields
// differ by more than 2 hPa RMS.
#include "rtty/audio/DemoSource.h"
#include "rtty/dsp/RttyDemodulator.h"
#include "sources/DemoFeed.h"
#include "synopanalysis/SurfaceAnalysis.h"
#include "synoplog/ObservationTime.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

namespace {

using namespace synop;
using namespace synop::analysis;

std::vector<PressureReport> pressures(const std::string& text, const QDateTime& received, int* decoded)
{
    *decoded = 0;
    return pressureReportsInText(text, [&](const DecodedReport& d) {
        ++*decoded;
        return observationTime(d, received);
    });
}

double isobarMoveKm(const std::vector<Isobar>& from, const std::vector<Isobar>& to, double* meanKm)
{
    double worst = 0, sum = 0;
    int n = 0;
    for (const Isobar& i : from)
        for (const IsobarLine& line : i.lines)
            for (const LatLon& p : line.points) {
                double best = 1e9;
                for (const Isobar& j : to)
                    if (j.pressureHpa == i.pressureHpa)
                        for (const IsobarLine& other : j.lines)
                            for (const LatLon& q : other.points) best = std::min(best, distanceKm(p, q));
                worst = std::max(worst, best);
                sum += best;
                ++n;
            }
    *meanKm = n ? sum / n : 0;
    return worst;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bool check = false;
    uint32_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--check")) check = true;
        else seed = uint32_t(std::atoi(argv[i]));
    }

    // One round of the broadcast: every demo station's report of one hour.
    cardserver::DemoFeed feed(seed, QDateTime(QDate(2026, 12, 8), QTime(12, 20), Qt::UTC));
    std::vector<std::string> pieces;
    pieces.push_back(feed.next().toStdString());
    const QDateTime round = feed.reportTime();  // already the time of the round after
    for (int i = 0; i < 100000; ++i) {
        const std::string piece = feed.next().toStdString();
        if (feed.reportTime() != round) break;
        if (!piece.empty()) pieces.push_back(piece);
    }
    std::string clean;
    for (const std::string& p : pieces) clean += p;

    struct Condition {
        const char* name;
        double snrDb, fadeDb;
        const char* channel;
    };
    // The demo as the card server sends it first, then worse.
    const Condition conditions[] = {
        {"demo: 3 dB SNR, slow 6 dB fade", 3, 6, ""},
        {"0 dB SNR, slow 10 dB fade", 0, 10, ""},
        {"-3 dB SNR, slow 10 dB fade", -3, 10, ""},
        {"-5 dB SNR, slow 10 dB fade", -5, 10, ""},
        {"HF channel 'poor' at 10 dB", 10, 0, "poor"},
        {"HF channel 'flutter' at 10 dB", 10, 0, "flutter"},
    };
    const QDateTime received = round;
    int cleanDecoded = 0;
    const auto cleanReports = pressures(clean, received, &cleanDecoded);
    const SurfaceAnalysis a = analyseSurface(cleanReports);
    if (!a.ok()) {
        std::fprintf(stderr, "synop_faded_analysis: no analysis of the clean text: %s\n", a.problem.c_str());
        return 1;
    }
    std::printf("demo round of %s: %zu characters; clean text: %d reports, %zu with a pressure and a place, %zu used, %zu "
                "rejected, %zu isobars, fit %.2f hPa RMS\n",
                qPrintable(a.hour.toString(Qt::ISODate)), clean.size(), cleanDecoded, cleanReports.size(), a.used.size(),
                a.rejected.size(), a.isobars.size(), a.fitRmsHpa);
    int status = 0;
    for (const Condition& condition : conditions) {
        rtty::DemoOptions options;
        options.seed = seed;
        options.snrDb = condition.snrDb;
        options.fadeDepthDb = condition.fadeDb;
        options.channel = condition.channel;
        size_t next = 0;
        rtty::DemoSource audio(options, [&] { return next < pieces.size() ? pieces[next++] : std::string(); });
        rtty::RttyDemodulator demodulator(options.sampleRate, options.parameters);
        std::string faded;
        std::vector<float> samples(8192);
        while (!audio.atEnd()) {
            const size_t got = audio.read(samples.data(), samples.size());
            if (got == 0 && audio.atEnd()) break;
            demodulator.process(samples.data(), got, faded);
        }
        int fadedDecoded = 0;
        const auto fadedReports = pressures(faded, received, &fadedDecoded);
        AnalysisOptions at;
        at.hour = a.hour;
        const SurfaceAnalysis b = analyseSurface(fadedReports, at);
        double sum = 0;
        int points = 0, cleanPoints = 0;
        for (int r = 0; r < a.field.grid.rows; ++r)
            for (int c = 0; c < a.field.grid.columns; ++c) {
                if (!a.field.valid(c, r)) continue;
                ++cleanPoints;
                if (const auto v = b.ok() ? b.field.valueAt(a.field.grid.pointAt(c, r)) : std::nullopt) {
                    sum += (*v - a.field.at(c, r)) * (*v - a.field.at(c, r));
                    ++points;
                }
            }
        const double rms = points ? std::sqrt(sum / points) : 1e9;
        double meanKm = 0;
        const double worstKm = isobarMoveKm(b.isobars, a.isobars, &meanKm);
        std::printf("%-32s %5zu characters, %2d reports, %2zu used, %zu rejected; field %.2f hPa RMS off the clean text's over "
                    "%3.0f %% of its area; isobars moved %.0f km on average, %.0f km at most\n",
                    condition.name, faded.size(), fadedDecoded, b.used.size(), b.rejected.size(), rms,
                    100.0 * points / std::max(1, cleanPoints), meanKm, worstKm);
        for (const RejectedReport& r : b.rejected)
            std::printf("    rejected %s %.1f hPa: %s\n", r.report.station.c_str(), r.report.pressureHpa, r.reason.c_str());
        if (check && &condition == &conditions[0] && rms > 2.0) {
            std::fprintf(stderr, "synop_faded_analysis: the faded broadcast's analysis is %.2f hPa RMS off the clean text's\n", rms);
            status = 1;
        }
        if (check) break;  // the check is the demo as sent; the rest is for the record
    }
    return status;
}

// synop_map_bench: time to draw 2,000 station models into an image, against
// drawing the same stations as plain dots with one text label each (what a
// map without station models draws), in the same run; and one whole map
// frame (coastlines, decluttering, models and dots) at a continental view.
//
//   synop_map_bench [stations, default 2000]
#include "synopcomponent/map/StationModelPainter.h"
#include "synopcomponent/map/WeatherMapWidget.h"
#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using namespace synop;
using Clock = std::chrono::steady_clock;

// Real values: the decoded corpus, handed round the stations in turn.
std::vector<map::StationValues> corpusValues()
{
    std::vector<map::StationValues> values;
    for (const char* name : {SYNOP_CORPUS_DIR "/clean.txt", SYNOP_CORPUS_DIR "/garbled.txt"}) {
        QFile file(QString::fromLatin1(name));
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = file.readAll();
        StreamAssembler assembler([&](AssembledReport&& r) {
            const DecodedReport d = decodeReport(r);
            if (!d.nil) values.push_back(map::stationValues(d));
        });
        assembler.feed(std::string_view(text.constData(), size_t(text.size())));
        assembler.finish();
    }
    return values;
}

// Milliseconds of the fastest of several runs: the least disturbed by the other work on the machine.
double fastest(int runs, const std::function<void()>& work)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const std::vector<map::StationValues> values = corpusValues();
    if (values.empty()) {
        std::fprintf(stderr, "synop_map_bench: no corpus in %s\n", SYNOP_CORPUS_DIR);
        return 1;
    }
    QRandomGenerator random(7);
    std::vector<QPointF> at;
    std::vector<map::MapReport> reports;
    for (int i = 0; i < count; ++i) {
        at.emplace_back(random.bounded(1920.0), random.bounded(1080.0));
        map::MapReport r;
        r.id = i;
        r.station = QString::number(10000 + i);
        r.lat = 35 + random.bounded(35.0);
        r.lon = -15 + random.bounded(50.0);
        r.values = values[size_t(i) % values.size()];
        reports.push_back(r);
    }
    int full = 0;
    for (const map::StationValues& v : values) full += v.completeness() >= 6;
    std::printf("stations: %d, values from %zu decoded corpus reports (%d with six or more plotted elements)\n", count,
                values.size(), full);

    QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    // The first drawing also draws every distinct circle, figure and symbol once.
    const double coldMs = fastest(1, [&] {
        map::StationModelPainter fresh;
        image.fill(Qt::white);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < count; ++i) fresh.drawModel(p, at[size_t(i)], reports[size_t(i)].values, 50);
    });
    map::StationModelPainter models;
    const double modelMs = fastest(7, [&] {
        image.fill(Qt::white);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < count; ++i) models.drawModel(p, at[size_t(i)], reports[size_t(i)].values, 50);
    });
    // Where the time goes: the same models with one element each.
    auto only = [&](const char* what, const std::function<void(map::StationValues&, const map::StationValues&)>& keep) {
        std::vector<map::StationValues> part;
        for (const map::MapReport& r : reports) {
            map::StationValues v;
            keep(v, r.values);
            part.push_back(v);
        }
        const double ms = fastest(5, [&] {
            image.fill(Qt::white);
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            for (int i = 0; i < count; ++i) models.drawModel(p, at[size_t(i)], part[size_t(i)], 50);
        });
        std::printf("  %-34s %6.1f ms\n", what, ms);
    };
    std::printf("breakdown (each with the cloud circle):\n");
    only("cloud circle", [](map::StationValues& v, const map::StationValues& all) { v.cloudOkta = all.cloudOkta; });
    only("+ wind barb", [](map::StationValues& v, const map::StationValues& all) {
        v.cloudOkta = all.cloudOkta;
        v.windKt = all.windKt;
        v.windFromDeg = all.windFromDeg;
    });
    only("+ temperature, dew point, pressure", [](map::StationValues& v, const map::StationValues& all) {
        v.cloudOkta = all.cloudOkta;
        v.airTempC = all.airTempC;
        v.dewPointC = all.dewPointC;
        v.seaLevelPressureHpa = all.seaLevelPressureHpa;
    });
    only("+ tendency", [](map::StationValues& v, const map::StationValues& all) {
        v.cloudOkta = all.cloudOkta;
        v.pressureChangeHpa = all.pressureChangeHpa;
        v.pressureTendency = all.pressureTendency;
    });
    only("+ present weather", [](map::StationValues& v, const map::StationValues& all) {
        v.cloudOkta = all.cloudOkta;
        v.presentWeather = all.presentWeather;
        v.automaticWeather = all.automaticWeather;
    });

    QFont labelFont(QStringLiteral("DejaVu Sans"));
    labelFont.setPixelSize(11);
    const double dotMs = fastest(7, [&] {
        image.fill(Qt::white);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setFont(labelFont);
        for (int i = 0; i < count; ++i) {
            const map::StationValues& v = reports[size_t(i)].values;
            p.setPen(Qt::black);
            p.setBrush(Qt::black);
            p.drawEllipse(at[size_t(i)], 3, 3);
            p.drawText(at[size_t(i)] + QPointF(5, 4), v.airTempC ? QString::number(*v.airTempC, 'f', 0) : QStringLiteral("M"));
        }
    });
    std::printf("%d station models: %.1f ms (the first time, sprites drawn: %.1f ms); %d dots with a label: %.1f ms; ratio %.2f\n",
                count, modelMs, coldMs, count, dotMs, modelMs / dotMs);

    map::WeatherMapWidget widget;
    widget.resize(1280, 800);
    widget.setReports(reports);
    widget.showArea({53, 10}, 22);
    QImage frame(widget.size(), QImage::Format_ARGB32_Premultiplied);
    const double frameMs = fastest(5, [&] { widget.render(&frame); });
    std::printf("whole map frame, Europe at 22 px/degree, 1280x800: %.1f ms (%d models, %d dots)\n", frameMs,
                widget.modelsDrawn(), widget.dotsDrawn());
    widget.setReports({});
    const double backgroundMs = fastest(5, [&] { widget.render(&frame); });
    widget.showArea({20, 0}, 3.5);
    const double worldMs = fastest(5, [&] { widget.render(&frame); });
    std::printf("of which coastlines and graticule: %.1f ms; the whole world at 3.5 px/degree: %.1f ms\n", backgroundMs, worldMs);
    std::printf("target: %d station models under 100 ms: %s\n", count, modelMs < 100 ? "met" : "NOT met");
    return 0;
}

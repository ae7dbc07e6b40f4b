#include "WaterfallFrame.h"

#include <algorithm>
#include <cmath>

namespace cardproto {

quint8 WaterfallFrame::code(double db) const
{
    if (!std::isfinite(db)) return 0;
    return quint8(std::clamp(std::lround((db - floorDb) / stepDb), 0L, 255L));
}

QList<WireValue> WaterfallFrame::toArgs() const
{
    QByteArray bytes(reinterpret_cast<const char*>(bins.data()), qsizetype(bins.size()));
    return {WireValue::i4(sequence), WireValue::r8(firstHz), WireValue::r8(binHz),
            WireValue::r8(floorDb),  WireValue::r8(stepDb),  WireValue::binary(bytes)};
}

std::optional<WaterfallFrame> WaterfallFrame::fromArgs(const QList<WireValue>& args, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return std::optional<WaterfallFrame>();
    };
    if (args.size() != 6) return fail(QStringLiteral("a spectrum frame has 6 arguments, this one %1").arg(args.size()));
    if (args[0].type != WireType::I4) return fail(QStringLiteral("a spectrum frame's sequence number must be i4"));
    for (int i = 1; i <= 4; ++i)
        if (args[i].type != WireType::R8 || !std::isfinite(args[i].real))
            return fail(QStringLiteral("a spectrum frame's argument %1 must be a finite r8").arg(i + 1));
    if (args[5].type != WireType::Bytes) return fail(QStringLiteral("a spectrum frame's magnitudes must be bytes"));
    WaterfallFrame frame;
    frame.sequence = qint32(args[0].integer);
    frame.firstHz = args[1].real;
    frame.binHz = args[2].real;
    frame.floorDb = args[3].real;
    frame.stepDb = args[4].real;
    const QByteArray& bytes = args[5].bytes;
    if (frame.binHz <= 0 || frame.binHz > 1000)
        return fail(QStringLiteral("a spectrum frame's bin width of %1 Hz is outside 0-1000 Hz").arg(frame.binHz));
    if (frame.stepDb <= 0 || frame.stepDb > 10)
        return fail(QStringLiteral("a spectrum frame's step of %1 dB is outside 0-10 dB").arg(frame.stepDb));
    if (std::fabs(frame.firstHz) > 1e9 || std::fabs(frame.floorDb) > 1000)
        return fail(QStringLiteral("a spectrum frame's first bin or floor is out of range"));
    if (bytes.size() < 2) return fail(QStringLiteral("a spectrum frame with %1 bins").arg(bytes.size()));
    if (bytes.size() > kMaxSpectrumBins)
        return fail(QStringLiteral("a spectrum frame of %1 bins, more than the %2 allowed").arg(bytes.size()).arg(kMaxSpectrumBins));
    frame.bins.assign(bytes.begin(), bytes.end());
    return frame;
}

}  // namespace cardproto

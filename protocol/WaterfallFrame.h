#pragma once
// One line of the waterfall as an observer receives it: the magnitudes of
// the card's input over the audio band, one byte a bin, in the `Spectrum`
// event. Bin i lies at firstHz + i * binHz, in the frequencies the card
// reports and is tuned at (the input's frequency less the IF translation);
// byte v stands for floorDb + v * stepDb, in dB relative to a full-scale tone.
#include "WireValue.h"

#include <QList>
#include <QString>
#include <optional>
#include <vector>

namespace cardproto {

inline constexpr char kSpectrumEvent[] = "Spectrum";
// Far more than any audio band needs at a few hertz a bin, and well inside
// the protocol's line length once in base64.
inline constexpr int kMaxSpectrumBins = 8192;

struct WaterfallFrame {
    qint32 sequence = 0;
    double firstHz = 0;
    double binHz = 0;
    double floorDb = -130;
    double stepDb = 0.5;
    std::vector<quint8> bins;

    double frequencyOf(double bin) const { return firstHz + bin * binHz; }
    double levelDb(size_t bin) const { return floorDb + bins[bin] * stepDb; }
    // The byte for a level, clamped to the scale.
    quint8 code(double db) const;

    QList<WireValue> toArgs() const;
    // nullopt with the reason in *error when the arguments do not make a frame.
    static std::optional<WaterfallFrame> fromArgs(const QList<WireValue>& args, QString* error);
};

}  // namespace cardproto

#pragma once
// An input that carries several receivers of one broadcast (the same
// transmission on several frequencies, or several antennas), decoded as
// one text by the diversity decoder of rtty/diversity: each receiver's soft
// decisions weighed by its own reliability, aligned in time and added
// before the characters are framed.
//
// The card's settings tune every receiver alike; each one's AFC follows its
// own mistuning within ±100 Hz. What the card reports of the signal is the
// strongest receiver's: the level is the best tone SNR, the line search's
// finding that of the receiver it found the line on most clearly.
#include "CheckedText.h"
#include "DecodingChannel.h"
#include "PipePace.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace rtty {
class AutoLineSearch;
class CombinedLineCheck;
class DiversityDecoder;
class LiveReader;
class SampleSource;
}  // namespace rtty

namespace cardserver {

class CombinedAudioChannel : public DecodingChannel {
public:
    // Live sources are read on threads of their own; files as the card asks.
    CombinedAudioChannel(std::vector<std::unique_ptr<rtty::SampleSource>> sources, const QString& description);
    ~CombinedAudioChannel() override;

    QString problemWith(const LineParameters& receiver, const ReceiverOptions& options) const override;
    void tune(const LineParameters& receiver, const ReceiverOptions& options) override;
    void lineMeasured() override { m_checkedText.measured(); }
    QString advance(double seconds) override;
    void startLineSearch() override;
    std::optional<LineParameters> lineSearchResult(bool finish) override;
    QString lineSearchFinding() const override { return m_lineSearchFinding; }
    ChannelState state() const override;
    int level() const override;
    QString describe() const override;
    // Observers see the spectrum of the strongest receiver.
    void setSampleTap(SampleTap* tap) override { m_tap = tap; }

private:
    struct Branch;
    size_t readBranch(Branch& branch, double seconds, double pipeSeconds);

    std::vector<Branch> m_branches;
    std::unique_ptr<rtty::DiversityDecoder> m_decoder;
    PipePace m_pipePace;  // pipes are taken at the card's pace
    CheckedText<rtty::CombinedLineCheck> m_checkedText;
    QString m_description;
    QString m_lineSearchFinding;
    SampleTap* m_tap = nullptr;
};

}  // namespace cardserver

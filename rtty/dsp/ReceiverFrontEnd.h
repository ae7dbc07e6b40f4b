#pragma once

#include "rtty/dsp/CarrierNotch.h"
#include "rtty/dsp/FrequencyAcquisition.h"
#include "rtty/dsp/ImpulseBlanker.h"
#include "rtty/dsp/RttyParameters.h"
#include "rtty/dsp/SlotLikelihood.h"
#include "rtty/dsp/SoftBitSource.h"
#include "rtty/dsp/HannSegments.h"
#include "rtty/dsp/TaperedMaximum.h"
#include "rtty/dsp/ToneEnvelope.h"
#include "rtty/dsp/TonePairFilter.h"

#include <complex>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// One receiver's side of the demodulator: the two tones' matched filters,
// their magnitudes and local levels, the slot likelihood learnt from them,
// the spectrum's coarse acquisition of the receiver's mistuning and the
// matched-filter AFC. It answers soft decisions for any instant in the
// audio it holds (SoftBitSource); the framer decides what the characters are.

namespace rtty {

class ReceiverFrontEnd final : public SoftBitSource {
public:
    static constexpr double kMaxTuningHz = 100.0;  // AFC and acquisition range round the set centre

    ReceiverFrontEnd(double sampleRate, const RttyParameters& parameters);
    ~ReceiverFrontEnd() override;

    // Starts afresh at audio sample `atSample` (what samplesIn() then says),
    // the filters `correctionHz` off the set tones. Keeps the acquisition.
    void restart(int64_t atSample, double correctionHz);

    // Filters `n` samples. Until frames are found (`learnFromRaw`), the
    // levels are learnt from the raw magnitudes, the stronger tone as on.
    void process(const float* samples, std::size_t n, bool learnFromRaw);

    // The spectrum's coarse view of the tuning, fed with the same audio.
    // The carriers beside the tones are looked for in it too.
    void observeSpectrum(const float* samples, std::size_t n)
    {
        // The acquisition's segments overlap by half; the notch's follow one
        // another, from the same first sample: every other one of them.
        segments_->append(samples, n);
        while (segments_->transformNext()) {
            acquisition_->analyse(segments_->transform());
            if (segments_->count() % 2 == 1)
                notch_->analyseTransform(segments_->transform(), filters_->markHz(), filters_->spaceHz());
        }
    }
    const CarrierNotch& carrierNotch() const { return *notch_; }
    bool takeSpectrumEstimate(double& offsetHz) { return acquisition_->takeEstimate(offsetHz); }
    bool spectrumJudged() const { return acquisition_->judged(); }
    // Moves the filters to `correctionHz` off the set tones, memory kept.
    void retune(double correctionHz);
    double tuningCorrectionHz() const { return tuningCorrectionHz_; }
    // Centre frequency the filters are on.
    double measuredCentreHz() const;

    double bitSamples() const { return bitSamples_; }
    const SlotLikelihood& likelihood() const { return likelihood_; }

    // SoftBitSource
    double llrAt(double centre) const override;
    void llrs(double first, double step, std::size_t count, double* out) const override;
    double newestCentre() const override;
    int64_t samplesIn() const override { return samplesIn_; }
    double slotSnr() const override { return likelihood_.slotSnr(); }
    bool fastFadingSeen() const override { return likelihood_.fastFadingSeen(); }
    void learnFrame(double start, double bitSamples, uint8_t code) override;
    void tuneOnFrame(double start, double bitSamples, uint8_t code) override;
    void discardBefore(double instant) override;

private:
    // Position in the magnitude buffers of the window centred at `centre`.
    double bufferPosition(double centre) const
    {
        const double sample = centre + filters_->delaySamples() - static_cast<double>(restartSample_ + decimation_ - 1);
        return sample / decimation_ - static_cast<double>(bufferStart_);
    }

    double sampleRate_;
    RttyParameters parameters_;
    double bitSamples_ = 0.0;
    std::unique_ptr<TonePairFilter> filters_;  // mark and space
    SlotLikelihood likelihood_;

    // Tone magnitudes every decimation_ samples: output m (counted from the
    // last restart) is for sample restartSample_ + decimation_ - 1 + m * decimation_.
    std::vector<float> markMagnitude_, spaceMagnitude_;
    std::vector<float> markEnvelope_, spaceEnvelope_;  // see ToneEnvelope.h; shorter by the look-ahead
    int envelopeHalfWidth_ = 0;
    TaperedMaximum markLevel_, spaceLevel_;
    PairLevels pairLevels_;  // see ToneEnvelope.h; shorter by their own look-ahead
    int commonHalfWidth_ = 0;
    float commonDeadZone_ = 1.0f;  // a common level above this is no fade
    std::vector<std::complex<float>> markWindow_, spaceWindow_;
    int decimation_ = 1;
    int64_t restartSample_ = 0;
    int64_t bufferStart_ = 0;  // output index of element 0
    int64_t samplesIn_ = 0;
    int64_t framesLearnt_ = 0;  // since the restart
    ImpulseBlanker blanker_;
    std::vector<float> blanked_;  // the audio with bursts blanked
    // The share of each output's window the blanker left, beside the
    // magnitudes: a slot blanked in part holds that much of its tones, and
    // one blanked whole says nothing. Filled from the runs blanked lately.
    std::vector<float> kept_;
    std::vector<ImpulseBlanker::Run> newRuns_;
    std::vector<std::pair<int64_t, int64_t>> recentRuns_;  // [first, end) in audio samples
    void extendKept(std::size_t outputs);
    // What the tones do not explain of each output's window: its energy
    // after the blanker less the two tones' (half a bit's samples times each
    // magnitude squared). At a slot's centre that is the noise; a burst's
    // tail the blanker let through stands out far above what the decided
    // slots show it to be (residualLevel_), and the excess is noise that
    // both tones' filters took in with it.
    std::vector<float> residual_;
    std::vector<double> energySums_;  // running sums of the squared samples, from energyFirst_
    int64_t energyFirst_ = 0;
    int energyWindow_ = 1;
    double residualLevel_ = 0.0, residualsLearnt_ = 0.0;
    double burstThreshold_ = 0.0;  // a residual above this holds a burst
    void extendResidual(const float* mark, const float* space, std::size_t outputs);
    float burstNoise(float residual) const;
    std::vector<float> scratchMark_, scratchSpace_;
    std::vector<std::complex<float>> scratchMarkWindow_, scratchSpaceWindow_;

    // AFC: phase turn of the on-tone's window across each decided slot.
    std::complex<double> tuningTurn_{};
    int tuningSlots_ = 0;
    double tuningCorrectionHz_ = 0.0;
    std::unique_ptr<HannSegments> segments_;             // the transforms both of these read
    std::unique_ptr<FrequencyAcquisition> acquisition_;  // pulls in from afar, squelch or not
    std::unique_ptr<CarrierNotch> notch_;                // kept, like the acquisition, through restarts
    std::vector<float> notched_;
};

}  // namespace rtty

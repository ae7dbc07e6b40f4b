#pragma once

// Line parameters of a BAUDOT (ITA2) radio teletype signal.

namespace rtty {

struct RttyParameters {
    double baud = 50.0;          // 45.45, 50, 75 or 100
    double shiftHz = 425.0;      // 170 to 1000
    double centreHz = 1500.0;    // audio centre between the two tones, 300 to 3000
    bool inverted = false;       // normal: mark is the higher audio tone
    double stopBits = 1.5;       // 1, 1.42, 1.5 or 2. Set to 1.5, the receiver also takes 1.42
                                 // and 2 and idle gaps; continuous text with one stop bit wants 1.
    bool unshiftOnSpace = true;  // a space returns to letters (what weather broadcasts expect)

    double markHz() const { return inverted ? centreHz - shiftHz / 2 : centreHz + shiftHz / 2; }
    double spaceHz() const { return inverted ? centreHz + shiftHz / 2 : centreHz - shiftHz / 2; }
    bool operator==(const RttyParameters&) const = default;
};

// What the demodulator can work with (parameterProblem() checks them).
namespace limits {
constexpr double kMinSampleRate = 8000.0, kMaxSampleRate = 192000.0;
constexpr double kMinBaud = 20.0, kMaxBaud = 300.0;
constexpr double kMinShiftHz = 50.0, kMaxShiftHz = 1500.0;
constexpr double kMinStopBits = 1.0, kMaxStopBits = 2.0;
// The lower tone at least this many times the speed above 0 Hz; the upper
// tone at most this fraction of the sample rate.
constexpr double kLowestToneInBauds = 2.0;
constexpr double kHighestToneOfRate = 0.45;
}  // namespace limits

// Empty when the parameters can be used at this sample rate, otherwise why not.
const char* parameterProblem(const RttyParameters& parameters, double sampleRate);

}  // namespace rtty

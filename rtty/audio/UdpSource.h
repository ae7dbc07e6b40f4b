#pragma once

#include "rtty/audio/RawSource.h"

#include <atomic>
#include <chrono>
#include <vector>

namespace rtty {

// Audio sent as UDP datagrams of raw mono PCM, as gqrx does (48 kHz s16le,
// port 7355). A datagram may have any size; a trailing odd byte is dropped
// with it, so that a lost datagram never shifts the samples after it. When
// nothing arrives for a while the source gives silence at the sender's pace,
// so that what the demodulator still holds comes out and the card can tell
// that the signal has gone.
class UdpSource : public SampleSource {
public:
    // `address` is a numeric address or a host name, empty for loopback;
    // port 0 takes a free port (see port()). Check isOpen() / errorText().
    UdpSource(const std::string& address, int port, double sampleRate, PcmFormat format);
    ~UdpSource() override;
    UdpSource(const UdpSource&) = delete;
    UdpSource& operator=(const UdpSource&) = delete;

    bool isOpen() const { return socket_ >= 0; }
    int port() const { return port_; }
    double sampleRate() const override { return sampleRate_; }
    size_t read(float* out, size_t maxSamples) override;
    bool atEnd() const override { return ended_; }
    std::string errorText() const override { return error_; }
    std::string describe() const override;
    bool waitsForInput() const override { return true; }
    void stopReading() override { stopped_ = true; }

    // No datagram for this long and the source fills in silence.
    static constexpr double kGapSeconds = 0.5;

private:
    size_t deliver(float* out, size_t maxSamples);

    std::string address_;
    int port_;
    double sampleRate_;
    PcmFormat format_;
    int socket_ = -1;
    bool ended_ = false;
    std::atomic<bool> stopped_{false};
    std::string error_;
    std::vector<unsigned char> datagram_;
    std::vector<float> samples_;  // of the latest datagram, not yet read
    size_t samplesRead_ = 0;
    std::chrono::steady_clock::time_point lastHeard_;
    std::chrono::steady_clock::time_point silenceUpTo_;
};

}  // namespace rtty

#include "rtty/audio/UdpSource.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rtty {

namespace {

constexpr int kStopCheckMs = 100;
constexpr size_t kLargestDatagram = 65536;

}  // namespace

UdpSource::UdpSource(const std::string& address, int port, double sampleRate, PcmFormat format)
    : address_(address.empty() ? "127.0.0.1" : address), port_(port), sampleRate_(sampleRate), format_(format),
      datagram_(kLargestDatagram)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int status = ::getaddrinfo(address_.c_str(), service.c_str(), &hints, &found); status != 0) {
        error_ = "udp: cannot use address " + address_ + ": " + ::gai_strerror(status);
        ended_ = true;
        return;
    }
    int lastError = 0;
    for (addrinfo* candidate = found; candidate && socket_ < 0; candidate = candidate->ai_next) {
        socket_ = ::socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC, candidate->ai_protocol);
        if (socket_ < 0) {
            lastError = errno;
            continue;
        }
        if (::bind(socket_, candidate->ai_addr, candidate->ai_addrlen) != 0) {
            lastError = errno;
            ::close(socket_);
            socket_ = -1;
        }
    }
    ::freeaddrinfo(found);
    if (socket_ < 0) {
        error_ = "udp: cannot receive on " + address_ + " port " + service + ": " + std::strerror(lastError);
        ended_ = true;
        return;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&bound), &length) == 0)
        port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                  : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    lastHeard_ = silenceUpTo_ = std::chrono::steady_clock::now();
}

UdpSource::~UdpSource()
{
    if (socket_ >= 0)
        ::close(socket_);
}

std::string UdpSource::describe() const
{
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", sampleRate_);
    const bool literalV6 = address_.find(':') != std::string::npos;
    return "udp:" + (literalV6 ? "[" + address_ + "]" : address_) + ":" + std::to_string(port_) + "@" + rate + ","
         + formatName(format_);
}

size_t UdpSource::deliver(float* out, size_t maxSamples)
{
    const size_t n = std::min(maxSamples, samples_.size() - samplesRead_);
    std::copy_n(samples_.begin() + long(samplesRead_), n, out);
    samplesRead_ += n;
    return n;
}

size_t UdpSource::read(float* out, size_t maxSamples)
{
    if (ended_ || maxSamples == 0)
        return 0;
    if (samplesRead_ < samples_.size())
        return deliver(out, maxSamples);
    const size_t width = bytesPerSample(format_);
    while (!stopped_) {
        pollfd waiting{socket_, POLLIN, 0};
        if (::poll(&waiting, 1, kStopCheckMs) > 0) {
            const ssize_t got = ::recv(socket_, datagram_.data(), datagram_.size(), MSG_DONTWAIT);
            if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR
                && errno != ECONNREFUSED) {
                error_ = "udp: receiving on port " + std::to_string(port_) + " failed: " + std::strerror(errno);
                ended_ = true;
                return 0;
            }
            const size_t count = got > 0 ? size_t(got) / width : 0;
            if (count == 0)
                continue;
            samples_.resize(count);
            convertPcm(datagram_.data(), count, format_, samples_.data());
            samplesRead_ = 0;
            lastHeard_ = silenceUpTo_ = std::chrono::steady_clock::now();
            return deliver(out, maxSamples);
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastHeard_ < std::chrono::duration<double>(kGapSeconds))
            continue;
        // The sender has gone quiet: silence for the time that passed.
        const std::chrono::duration<double> gap = now - silenceUpTo_;
        const auto silent = std::min(maxSamples, size_t(gap.count() * sampleRate_));
        if (silent == 0)
            continue;
        silenceUpTo_ += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(double(silent) / sampleRate_));
        std::fill_n(out, silent, 0.0f);
        return silent;
    }
    ended_ = true;
    return 0;
}

}  // namespace rtty

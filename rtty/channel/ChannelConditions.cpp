#include "rtty/channel/ChannelConditions.h"

#include <cstdlib>
#include <vector>

namespace hfchannel {

namespace {

// "name:1:2.5" into the name and its numbers; false when a number does not parse.
bool split(const std::string& part, std::string& name, std::vector<double>& numbers)
{
    size_t colon = part.find(':');
    name = part.substr(0, colon);
    while (colon != std::string::npos) {
        const size_t next = part.find(':', colon + 1);
        const std::string field = part.substr(colon + 1, next == std::string::npos ? std::string::npos : next - colon - 1);
        char* end = nullptr;
        const double value = std::strtod(field.c_str(), &end);
        if (field.empty() || *end != '\0')
            return false;
        numbers.push_back(value);
        colon = next;
    }
    return true;
}

}  // namespace

bool applyCondition(const std::string& part, ChannelSettings& s, double centreHz, double shiftHz)
{
    std::string name;
    std::vector<double> n;
    if (!split(part, name, n))
        return false;
    const auto arg = [&n](size_t i, double fallback) { return i < n.size() ? n[i] : fallback; };
    const auto within = [&n](size_t most) { return n.size() <= most; };

    if (name == "adjacent" && within(4)) {
        AdjacentStation station;
        station.centreHz = centreHz + arg(0, 500.0);
        station.levelDb = arg(1, 0.0);
        station.baud = arg(2, 50.0);
        station.shiftHz = arg(3, shiftHz);
        s.interference.adjacent = station;
    } else if ((name == "carrier" || name == "cw") && within(3)) {
        Carrier carrier;
        carrier.hz = centreHz + arg(0, 0.0);
        carrier.levelDb = arg(1, 0.0);
        if (name == "cw")
            carrier.keyedWpm = arg(2, 20.0);
        else
            carrier.driftHzPerMinute = arg(2, 0.0);
        s.interference.carrier = carrier;
    } else if (name == "hum" && within(3)) {
        Hum hum;
        hum.levelDb = arg(0, -10.0);
        hum.mainsHz = arg(1, 50.0);
        hum.slope = arg(2, 1.0);
        if (hum.mainsHz <= 0.0)
            return false;
        s.interference.hum = hum;
    } else if (name == "fading" && within(2)) {
        // Rayleigh fading of one path (delay 0) or two of equal power.
        s.multipath = true;
        s.pathDelaySeconds = arg(0, 0.0) / 1000.0;
        s.dopplerSpreadHz = arg(1, 0.5);
        if (s.pathDelaySeconds < 0.0 || s.dopplerSpreadHz <= 0.0)
            return false;
    } else if (name == "drift" && within(2)) {
        s.offsetHz = arg(0, 0.0);
        s.driftHzPerMinute = arg(1, 20.0);
    } else if ((name == "dips" || name == "irregular") && within(3)) {
        s.dips = true;
        s.dip.depthDb = arg(0, 20.0);
        s.dip.seconds = arg(1, 0.3);
        s.dip.periodSeconds = arg(2, 3.0);
        s.dip.irregular = name == "irregular";
        s.dip.seed = s.seed;
        if (s.dip.periodSeconds <= s.dip.seconds || s.dip.seconds <= 0.0)
            return false;
    } else if (name == "if" && within(2)) {
        IfFilter filter;
        filter.widthHz = arg(0, 500.0);
        filter.centreHz = centreHz + arg(1, 0.0);
        if (filter.widthHz <= 0.0 || filter.widthHz / 2.0 >= filter.centreHz)
            return false;
        s.receiver.filter = filter;
    } else if (name == "agc" && within(2)) {
        Agc agc;
        agc.hangSeconds = arg(0, agc.hangSeconds);
        agc.releaseSeconds = arg(1, agc.releaseSeconds);
        s.receiver.agc = agc;
    } else if (name == "clip" && within(1)) {
        s.receiver.clipDb = arg(0, -6.0);
    } else if (name == "clicks" && within(3)) {
        s.impulses = true;
        s.impulse.clicksPerSecond = arg(0, 5.0);
        s.impulse.crashesPerSecond = 0.0;
        s.impulse.minAboveSignalDb = arg(1, 10.0);
        s.impulse.maxAboveSignalDb = arg(2, 30.0);
        if (s.impulse.clicksPerSecond <= 0.0 || s.impulse.maxAboveSignalDb < s.impulse.minAboveSignalDb)
            return false;
    } else if (name == "crashes" && within(5)) {
        s.impulses = true;
        s.impulse.clicksPerSecond = 0.0;
        s.impulse.crashesPerSecond = arg(0, 0.5);
        s.impulse.crashMinSeconds = arg(1, 20.0) / 1000.0;
        s.impulse.crashMaxSeconds = arg(2, 80.0) / 1000.0;
        s.impulse.minAboveSignalDb = arg(3, 10.0);
        s.impulse.maxAboveSignalDb = arg(4, 30.0);
        if (s.impulse.crashesPerSecond <= 0.0 || s.impulse.crashMinSeconds <= 0.0
            || s.impulse.crashMaxSeconds < s.impulse.crashMinSeconds
            || s.impulse.maxAboveSignalDb < s.impulse.minAboveSignalDb)
            return false;
    } else if (name == "ignition" && within(3)) {
        s.impulses = true;
        s.impulse.clicksPerSecond = 0.0;
        s.impulse.crashesPerSecond = 0.0;
        s.impulse.pulsesPerSecond = arg(0, 60.0);
        s.impulse.minAboveSignalDb = s.impulse.maxAboveSignalDb = arg(1, 20.0);
        s.impulse.pulseSeconds = arg(2, 0.2) / 1000.0;
        if (s.impulse.pulsesPerSecond <= 0.0 || s.impulse.pulseSeconds <= 0.0)
            return false;
    } else if (name == "clock" && within(1)) {
        s.clockPpm = arg(0, 1000.0);
    } else {
        return false;
    }
    return true;
}

}  // namespace hfchannel

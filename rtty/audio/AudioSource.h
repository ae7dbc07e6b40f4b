#pragma once

#include "rtty/audio/SampleSource.h"

#include <memory>
#include <string>
#include <vector>

namespace rtty {

struct AudioDevice {
    int index = -1;
    std::string name;
    int inputChannels = 0;
    double defaultSampleRate = 0.0;
    bool isDefault = false;
};

// Capture devices; empty with `error` set when live audio is unavailable.
std::vector<AudioDevice> listAudioDevices(std::string& error);

// Live capture from "default", a device number from the list, or a part of
// a device name. The first channel is used. When the device fails or
// disappears, reading ends and errorText() says why.
std::unique_ptr<SampleSource> openAudioSource(const std::string& device, std::string& error);

}  // namespace rtty

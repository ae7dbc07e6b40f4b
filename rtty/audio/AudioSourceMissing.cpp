#include "rtty/audio/AudioSource.h"

// Built when PortAudio was not found: live capture says so instead of failing silently.

namespace rtty {

namespace {
const char* const kMissing = "this build has no live audio capture (PortAudio was not available)";
}

std::vector<AudioDevice> listAudioDevices(std::string& error)
{
    error = kMissing;
    return {};
}

std::unique_ptr<SampleSource> openAudioSource(const std::string&, std::string& error)
{
    error = kMissing;
    return nullptr;
}

}  // namespace rtty

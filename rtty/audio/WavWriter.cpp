#include "rtty/audio/WavWriter.h"

#include <sndfile.h>

namespace rtty {

std::string writeWav(const std::string& path, const std::vector<float>& samples, int sampleRate, WavFormat format)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | (format == WavFormat::Float32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return "cannot write " + path + ": " + sf_strerror(nullptr);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // A float file's PEAK chunk holds the time of writing: the same samples
    // would give another file every second. The samples say their peak.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    const sf_count_t written = sf_write_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    std::string error;
    if (written != static_cast<sf_count_t>(samples.size()))
        error = "cannot write " + path + ": " + sf_strerror(file);
    if (sf_close(file) != 0 && error.empty())
        error = "cannot finish " + path;
    return error;
}

}  // namespace rtty

#pragma once

#include <string>
#include <vector>

namespace rtty {

enum class WavFormat { Pcm16, Float32 };

// Writes mono samples; returns an empty string or why the file could not be
// written. 16-bit samples beyond ±1 are clipped by the writer.
std::string writeWav(const std::string& path, const std::vector<float>& samples, int sampleRate,
                     WavFormat format = WavFormat::Pcm16);

}  // namespace rtty
